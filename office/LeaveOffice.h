#pragma once
// For a process that has to leave in the middle of an office call (a browser
// page closed): the documents it holds open in the shared office instances
// are closed and their work copies removed, if the LibreOffice module is
// loaded at all. Header only: the module is reached by its name, from any
// library of the process, and nothing is loaded for it.
#include <dlfcn.h>

namespace tx::office {

inline void closeOfficeDocumentsBeforeLeaving()
{
    void *module = ::dlopen("libtessarix-office-lo.so", RTLD_NOW | RTLD_NOLOAD);
    if (!module)
        return;
    if (auto close = reinterpret_cast<void (*)()>(::dlsym(module, "tessarix_office_lo_close_own_documents")))
        close();
    ::dlclose(module);
}

} // namespace tx::office
