#pragma once
#include <string>
#include <string_view>

namespace tx::cms {

// The Content-Type for a stored file, by its extension.
std::string contentTypeFor(std::string_view fileName);

} // namespace tx::cms
