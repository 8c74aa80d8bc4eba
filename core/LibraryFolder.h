#pragma once
// The folder of the program's private libraries: where this library itself was
// loaded from. The component, the office module and this library sit side by side
// in a build tree (build/lib) and in an installed one (lib/<multiarch>/tessarix), so
// neither a prefix nor a build path is compiled in.
#include <QString>

namespace tx {

QString privateLibraryFolder();

} // namespace tx
