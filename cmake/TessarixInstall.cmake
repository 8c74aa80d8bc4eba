# Install rules by the FHS, in three components (one package each): tessarix (the
# component, the host and the bridge), office (the LibreOffice module) and cms (the
# reference server). The tree is relocatable: every RUNPATH is relative to $ORIGIN,
# the programs find their libraries from where they run, and the session files are
# written at install time with the prefix the tree is installed to.
set(TESSARIX_PKGLIBDIR ${CMAKE_INSTALL_LIBDIR}/tessarix)
set(TESSARIX_DATADIR ${CMAKE_INSTALL_DATADIR}/tessarix)
set(TESSARIX_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/tessarix)
set(TESSARIX_UNITDIR lib/systemd/user)

file(RELATIVE_PATH bin_to_lib /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${TESSARIX_PKGLIBDIR})
set_target_properties(tessarix PROPERTIES INSTALL_RPATH "$ORIGIN/${bin_to_lib}")
set_target_properties(Pelliform tessarix_platform PROPERTIES INSTALL_RPATH "$ORIGIN")
set(tx_libraries Pelliform tessarix_core tessarix_platform)

install(TARGETS tessarix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tessarix)
install(TARGETS ${tx_libraries} LIBRARY DESTINATION ${TESSARIX_PKGLIBDIR} COMPONENT tessarix
        NAMELINK_SKIP)
install(TARGETS tessarix-cms RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cms)
if(TARGET tessarix-office-lo)
  # LibreOffice's UNO libraries need their private neighbours in the office's own
  # program folder, which Debian's multiarch links do not carry: that one absolute
  # entry stays.
  get_target_property(lo_rpath tessarix-office-lo INSTALL_RPATH)
  set_target_properties(tessarix-office-lo PROPERTIES INSTALL_RPATH "$ORIGIN;${lo_rpath}")
  install(TARGETS tessarix-office-lo LIBRARY DESTINATION ${TESSARIX_PKGLIBDIR} COMPONENT office)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian/tessarix-office
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT office)
endif()

# The page library for back-office pages; the programs serve their own copies.
install(FILES bridge/tessarix.js bridge/tessarix.mjs bridge/tessarix.d.ts
        DESTINATION ${TESSARIX_DATADIR} COMPONENT tessarix)

# The changelog compressed as Debian wants it (no name, no time stamp in the gzip
# header).
set(pkg_dir ${CMAKE_BINARY_DIR}/packaging)
string(TIMESTAMP TESSARIX_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(packaging/changelog.in ${pkg_dir}/changelog @ONLY)
add_custom_command(OUTPUT ${pkg_dir}/changelog.gz
                   COMMAND gzip -9nf -k ${pkg_dir}/changelog
                   DEPENDS ${pkg_dir}/changelog VERBATIM)
add_custom_target(tx_packaging_files ALL DEPENDS ${pkg_dir}/changelog.gz)

# Every package has its own doc folder with the copyright and the changelog.
foreach(component tessarix office cms)
  if(component STREQUAL "tessarix")
    set(name tessarix)
  else()
    set(name tessarix-${component})
  endif()
  if(component STREQUAL "office" AND NOT TARGET tessarix-office-lo)
    continue()
  endif()
  install(FILES packaging/copyright ${pkg_dir}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${name} COMPONENT ${component})
endforeach()
install(FILES README.md docs/install.md docs/bridge.md docs/component.md docs/automation.md
              docs/architecture.md
        DESTINATION ${TESSARIX_DOCDIR} COMPONENT tessarix)
install(DIRECTORY docs/forms DESTINATION ${TESSARIX_DOCDIR} COMPONENT tessarix)
install(DIRECTORY examples/ DESTINATION ${TESSARIX_DOCDIR}/examples COMPONENT tessarix)
install(FILES docs/cms.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessarix-cms COMPONENT cms)

# The session files and the man pages name the prefix installed to, which is known
# only at install time (cmake --install --prefix P).
set(configured_vars "
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  set(TESSARIX_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
  set(TESSARIX_PKGLIBDIR \"${TESSARIX_PKGLIBDIR}\")
  set(TESSARIX_DATADIR \"${TESSARIX_DATADIR}\")
  set(TESSARIX_DOCDIR \"${TESSARIX_DOCDIR}\")
  set(TESSARIX_CMS_DOCDIR \"${CMAKE_INSTALL_DATADIR}/doc/tessarix-cms\")
  set(TESSARIX_MANDIR \"${CMAKE_INSTALL_MANDIR}\")
  set(TESSARIX_UNITDIR \"${TESSARIX_UNITDIR}\")
  set(TESSARIX_SOURCE \"${PROJECT_SOURCE_DIR}/packaging\")
  set(TESSARIX_STAGE \"${pkg_dir}/configured\")")
install(CODE "${configured_vars}
  set(TESSARIX_PART tessarix)
  include(\"${PROJECT_SOURCE_DIR}/cmake/InstallConfigured.cmake\")" COMPONENT tessarix)
install(CODE "${configured_vars}
  set(TESSARIX_PART cms)
  include(\"${PROJECT_SOURCE_DIR}/cmake/InstallConfigured.cmake\")" COMPONENT cms)
