# Three Debian packages from the install components (cmake --build build --target
# package): tessarix, tessarix-office and tessarix-cms.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessarix)
set(CPACK_PACKAGE_VENDOR "Tessarix developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tessarix developers <tessarix@example.org>")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
# The session files are written with the real prefix (see InstallConfigured.cmake),
# so the packages are staged through DESTDIR.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL tessarix cms)
if(TARGET tessarix-office-lo)
  list(INSERT CPACK_COMPONENTS_ALL 1 office)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE tessarix)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Private libraries: those of the package itself, and for the office module the
# component's, which come with the tessarix package it depends on.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)

set(CPACK_DEBIAN_TESSARIX_PACKAGE_NAME tessarix)
set(CPACK_DEBIAN_OFFICE_PACKAGE_NAME tessarix-office)
set(CPACK_DEBIAN_CMS_PACKAGE_NAME tessarix-cms)

set(CPACK_COMPONENT_TESSARIX_DESCRIPTION
"client-side controls for a content-management back office
The component libPelliform.so holds the controls that a back-office page uses
to do what a page cannot do itself: upload files and folder trees, import
office documents and pictures as articles, capture the screen and read the
clipboard. The program tessarix runs back-office page scripts against them, and
its browser bridge (tessarix serve, started with every graphical session) lets
trusted back-office pages in an ordinary browser use the same controls.")
set(CPACK_COMPONENT_OFFICE_DESCRIPTION
"office import for the Tessarix controls, through LibreOffice
The module that lets the office import control of tessarix turn text,
presentation and spreadsheet documents into articles by driving LibreOffice's
writer, impress and calc. Loaded at run time: without it the other controls
work and the office import says that LibreOffice support is not installed.")
set(CPACK_COMPONENT_CMS_DESCRIPTION
"reference content-management server for the Tessarix controls
tessarix-cms is the server side that the Tessarix controls talk to: the upload
script, the picture work of the image import (watermark and thumbnail), the
article script, pages to browse what was stored, and an editor's page that uses
the controls through the browser bridge.")

# Qt's own words (dialog buttons and the like) in the user's language: the forms
# load Debian's Qt translations, which no library links.
set(CPACK_DEBIAN_TESSARIX_PACKAGE_DEPENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_TESSARIX_PACKAGE_RECOMMENDS "tessarix-office, fonts-wqy-zenhei, qt6-wayland")
set(CPACK_DEBIAN_OFFICE_PACKAGE_DEPENDS
    "tessarix (= ${PROJECT_VERSION}), libreoffice-writer | libreoffice-writer-nogui, libreoffice-calc | libreoffice-calc-nogui, libreoffice-impress | libreoffice-impress-nogui")
# The fonts metric-compatible with those office documents name: pages of a paged
# import break where their authors saw them break.
set(CPACK_DEBIAN_OFFICE_PACKAGE_RECOMMENDS "fonts-liberation2, fonts-crosextra-carlito, fonts-crosextra-caladea")
set(CPACK_DEBIAN_CMS_PACKAGE_RECOMMENDS "fonts-wqy-zenhei")

# The autostart entry lives in /etc: a configuration file the administrator may
# change, which an upgrade keeps.
configure_file(${PROJECT_SOURCE_DIR}/packaging/conffiles ${CMAKE_BINARY_DIR}/packaging/control/conffiles COPYONLY)
set(CPACK_DEBIAN_TESSARIX_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/control/conffiles)
set(CPACK_DEBIAN_TESSARIX_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
