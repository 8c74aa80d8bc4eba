# Run at install time (install(CODE) in TessarixInstall.cmake), when the prefix is
# final: writes the files that name installed paths and installs them like any
# other file (DESTDIR and the install manifest included).
string(REGEX REPLACE "/+$" "" prefix "${CMAKE_INSTALL_PREFIX}")
set(program "${prefix}/${TESSARIX_BINDIR}/tessarix")
# Both files split their command lines at spaces and expand % (and the unit $):
# a prefix holding any of them is quoted and escaped for each file's own rules.
set(TESSARIX_UNIT_PROGRAM "${program}")
set(TESSARIX_DESKTOP_PROGRAM "${program}")
if(program MATCHES "[ %$\"\\`]")
  string(REPLACE "\\" "\\\\" unit "${program}")
  string(REPLACE "\"" "\\\"" unit "${unit}")
  string(REPLACE "%" "%%" unit "${unit}")
  string(REPLACE "$" "$$" unit "${unit}")
  set(TESSARIX_UNIT_PROGRAM "\"${unit}\"")
  # Desktop entry: quoted-argument escapes, then the file's own backslash escape.
  string(REGEX REPLACE "([\"`$\\])" "\\\\\\\\\\1" desktop "${program}")
  string(REPLACE "%" "%%" desktop "${desktop}")
  set(TESSARIX_DESKTOP_PROGRAM "\"${desktop}\"")
endif()
set(TESSARIX_LIB_DIR "${prefix}/${TESSARIX_PKGLIBDIR}")
set(TESSARIX_DATA_DIR "${prefix}/${TESSARIX_DATADIR}")
set(TESSARIX_DOC_DIR "${prefix}/${TESSARIX_DOCDIR}")
string(REPLACE " " "%20" TESSARIX_DOC_URL "${TESSARIX_DOC_DIR}")
set(TESSARIX_CMS_DOC_DIR "${prefix}/${TESSARIX_CMS_DOCDIR}")
set(TESSARIX_UNIT_DIR "${prefix}/${TESSARIX_UNITDIR}")
# The system's configuration folder for the system prefix, the prefix's own otherwise.
if(prefix STREQUAL "/usr" OR prefix STREQUAL "")
  set(TESSARIX_AUTOSTART_DIR "/etc/xdg/autostart")
else()
  set(TESSARIX_AUTOSTART_DIR "${prefix}/etc/xdg/autostart")
endif()

set(stage "${TESSARIX_STAGE}/${TESSARIX_PART}")
file(REMOVE_RECURSE "${stage}")

function(tx_man page)
  configure_file("${TESSARIX_SOURCE}/man/${page}" "${stage}/${page}" @ONLY)
  # No name, no time stamp in the gzip header: the same sources give the same file.
  execute_process(COMMAND gzip -9nf "${stage}/${page}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${stage}/${page} failed")
  endif()
  file(INSTALL "${stage}/${page}.gz" DESTINATION "${prefix}/${TESSARIX_MANDIR}/man1")
endfunction()

if(TESSARIX_PART STREQUAL "tessarix")
  tx_man(tessarix.1)
  configure_file("${TESSARIX_SOURCE}/tessarix-bridge.service.in" "${stage}/tessarix-bridge.service" @ONLY)
  configure_file("${TESSARIX_SOURCE}/tessarix-bridge.desktop.in" "${stage}/tessarix-bridge.desktop" @ONLY)
  file(INSTALL "${stage}/tessarix-bridge.service" DESTINATION "${TESSARIX_UNIT_DIR}")
  file(INSTALL "${stage}/tessarix-bridge.desktop" DESTINATION "${TESSARIX_AUTOSTART_DIR}")
elseif(TESSARIX_PART STREQUAL "cms")
  tx_man(tessarix-cms.1)
endif()
