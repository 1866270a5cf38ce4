# Installation and the Debian package.  Included at the end of the top-level
# CMakeLists.txt, after app/, which installs the two programs themselves;
# this adds their desktop entry, icons, manual pages and shared files.
include(GNUInstallDirs)

set(VDMQ_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(VDMQ_DATA_DIR ${CMAKE_INSTALL_DATADIR}/vdmq)

# Help page, usage notes and the sample roster, where the programs look for
# them beside their own folder (../share/vdmq).
install(FILES ${CMAKE_SOURCE_DIR}/app/help/index.html DESTINATION ${VDMQ_DATA_DIR})
foreach(f roster.xls 使用说明.txt)
  install(FILES ${CMAKE_SOURCE_DIR}/samples/${f} DESTINATION ${VDMQ_DATA_DIR})
  # The same beside the programs in the build tree (build/app/../share/vdmq),
  # so a program started from there finds its notes as an installed one does.
  configure_file(${CMAKE_SOURCE_DIR}/samples/${f} ${CMAKE_BINARY_DIR}/share/vdmq/${f} COPYONLY)
endforeach()

# Manual pages, compressed as Debian keeps them.
find_program(VDMQ_GZIP gzip)
function(vdmq_man_page name program)
  set(VDMQ_VERSION ${PROJECT_VERSION})
  configure_file(${VDMQ_PACKAGING_DIR}/${name} ${CMAKE_BINARY_DIR}/man/${name} @ONLY)
  if(VDMQ_GZIP)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${name}.gz
      COMMAND ${VDMQ_GZIP} -9n -c ${CMAKE_BINARY_DIR}/man/${name} > ${CMAKE_BINARY_DIR}/man/${name}.gz
      DEPENDS ${CMAKE_BINARY_DIR}/man/${name}
      VERBATIM)
    add_custom_target(man_${program} ALL DEPENDS ${CMAKE_BINARY_DIR}/man/${name}.gz)
    install(FILES ${CMAKE_BINARY_DIR}/man/${name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    install(FILES ${CMAKE_BINARY_DIR}/man/${name} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endfunction()
vdmq_man_page(vdmq-print.1 vdmq-print)
vdmq_man_page(vdmq.1 vdmq)

# Desktop entry with its "Open with" association for .xls/.xlsx, and the
# application icon.
install(FILES ${VDMQ_PACKAGING_DIR}/vdmq.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VDMQ_PACKAGING_DIR}/icons/vdmq.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${VDMQ_PACKAGING_DIR}/icons/hicolor/${size}x${size}/apps/vdmq.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# The sample roster read back through the batch tool, as a user first sees it.
if(VDMQ_TESTS)
  find_program(VDMQ_PYTHON3 NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
  if(VDMQ_PYTHON3)
    add_test(NAME samples_roster
             COMMAND ${VDMQ_PYTHON3} ${CMAKE_SOURCE_DIR}/samples/check_sample.py $<TARGET_FILE:vdmq-print>
                     ${CMAKE_SOURCE_DIR}/samples/roster.xls)
  endif()
endif()

# ---- Debian package (cpack -G DEB, see scripts/package) --------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vdmq)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "vdmq")
set(CPACK_PACKAGE_CONTACT "vdmq maintainers <vdmq@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "工资变动审批表打印 - print pay change approval forms from a roster")
set(CPACK_PACKAGE_DESCRIPTION "vdmq prints one approval form (国家机关事业单位工作人员工资变动审批表)
for each flagged row of a personnel office's roster of post and pay changes
(.xls or .xlsx): on a printer, in its own preview window, as plain text or
as PDF.  vdmq-print does the same from the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "")
# The libraries the programs link to are found by dpkg-shlibdeps, under the
# names this release gives them (Debian 13 renamed many for 64-bit time).
# The plugins Qt loads at run time are not linked: their packages are asked
# of dpkg, as each release splits Qt differently (Debian 12 keeps the SVG
# image plugin in libqt6svg6, Debian 13 in qt6-svg-plugins).  The fonts the
# form is printed in and the translations that put Qt's own dialogs in
# Chinese are named as they are on every release.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(VDMQ_DEB_DEPENDS fonts-noto-cjk fonts-liberation2 fonts-hanazono fonts-babelstone-han fontconfig
    qt6-translations-l10n)
# The plugins: window system (X11 and offscreen), printing through CUPS,
# SVG pictures and icons.  A shared Qt does not import their targets by
# itself; their configurations lie beside the module's own.
set(VDMQ_QT_RUNTIME_PLUGINS QXcbIntegrationPlugin QOffscreenIntegrationPlugin
    QCupsPrinterSupportPlugin QSvgPlugin QSvgIconPlugin)
find_program(VDMQ_DPKG_QUERY dpkg-query)
foreach(name IN LISTS VDMQ_QT_RUNTIME_PLUGINS)
  set(plugin Qt6::${name})
  if(NOT TARGET ${plugin})
    find_package(Qt6${name} CONFIG QUIET PATHS ${Qt6Gui_DIR} ${Qt6PrintSupport_DIR} NO_DEFAULT_PATH)
  endif()
  if(NOT TARGET ${plugin})
    message(FATAL_ERROR "Qt has no ${plugin}: the program needs it at run time (see scripts/setup)")
  endif()
  get_target_property(file ${plugin} LOCATION)
  set(owner "")
  if(VDMQ_DPKG_QUERY)
    execute_process(COMMAND ${VDMQ_DPKG_QUERY} -S ${file}
                    OUTPUT_VARIABLE owner ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    # "libqt6svg6:amd64: /usr/lib/...": the package, without its architecture.
    string(REGEX REPLACE "[:,].*" "" owner "${owner}")
  endif()
  if(owner STREQUAL "")
    message(WARNING "No Debian package holds ${file}; the package will not depend on it")
  else()
    list(APPEND VDMQ_DEB_DEPENDS ${owner})
  endif()
endforeach()
list(REMOVE_DUPLICATES VDMQ_DEB_DEPENDS)
list(JOIN VDMQ_DEB_DEPENDS ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cups-client")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cups, printer-driver-cups-pdf")
include(CPack)
