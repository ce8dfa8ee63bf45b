# What is shipped for Windows: lindavex.exe as a GUI program with its icon and version, both
# programs with their manifest, and everything they need beside them. `cmake --build . --target
# dist` (or `cmake --install .`) fills <build>/dist; the `package` target makes
# <build>/lindavex-<version>-windows-x64.zip and the installer <build>/lindavex-<version>-setup.exe
# (NSIS), and the `msi` target the Windows Installer package <build>/lindavex-<version>.msi.
if(NOT TARGET lindavex)
    message(STATUS "No window built: nothing to package for Windows")
    return()
endif()

enable_language(RC)
set(LINDAVEX_ICON ${CMAKE_CURRENT_LIST_DIR}/lindavex.ico)
set(LINDAVEX_MANIFEST ${CMAKE_CURRENT_LIST_DIR}/lindavex.manifest)
configure_file(${CMAKE_CURRENT_LIST_DIR}/manifest.rc.in ${CMAKE_BINARY_DIR}/manifest.rc @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/lindavex.rc.in ${CMAKE_BINARY_DIR}/lindavex.rc @ONLY)
target_sources(lindavex PRIVATE ${CMAKE_BINARY_DIR}/lindavex.rc)
target_sources(lindavex-cli PRIVATE ${CMAKE_BINARY_DIR}/manifest.rc)
set_source_files_properties(${CMAKE_BINARY_DIR}/lindavex.rc ${CMAKE_BINARY_DIR}/manifest.rc
                            PROPERTIES OBJECT_DEPENDS ${LINDAVEX_MANIFEST})
set_target_properties(lindavex PROPERTIES WIN32_EXECUTABLE ON)

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    set(CMAKE_INSTALL_PREFIX ${CMAKE_BINARY_DIR}/dist CACHE PATH "Where the dist folder goes" FORCE)
endif()

# Everything lives in one folder, the Morvalen product's: "Morvalen.ini" is read beside the
# executable.
install(TARGETS lindavex lindavex-cli RUNTIME DESTINATION .)
if(TARGET lindavex_help)
    install(FILES ${CMAKE_BINARY_DIR}/shell/RIDAZ.chm DESTINATION .)
endif()

find_package(Qt6 REQUIRED COMPONENTS Widgets)
install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
        DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)

# The C++ runtime the Qt DLLs and the window share, from the cross compiler.
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${runtime}")
        message(FATAL_ERROR "${dll} not found beside ${CMAKE_CXX_COMPILER}")
    endif()
    file(REAL_PATH ${runtime} runtime)
    install(FILES ${runtime} DESTINATION .)
endforeach()

# Qt's own Spanish texts (file dialog, message-box buttons), from the host's Qt, which is the
# same version (Debian's qt6-translations-l10n).
if(QT_HOST_PATH)
    set(qt_translations ${QT_HOST_PATH}/share/qt6/translations)
else()
    set(qt_translations /usr/share/qt6/translations)
endif()
if(NOT EXISTS ${qt_translations}/qtbase_es.qm)
    message(FATAL_ERROR "${qt_translations}/qtbase_es.qm missing (Debian: qt6-translations-l10n)")
endif()
install(FILES ${qt_translations}/qtbase_es.qm DESTINATION translations)

# A fresh dist folder, so that no file of an earlier build stays in it.
set(dist_targets lindavex lindavex-cli)
if(TARGET lindavex_help)
    list(APPEND dist_targets lindavex_help)
endif()
# Signed when LINDAVEX_SIGN_PFX and LINDAVEX_SIGN_PASSWORD are set (tools/windows/sign.sh).
set(LINDAVEX_SIGN ${CMAKE_CURRENT_LIST_DIR}/sign.sh)
add_custom_target(dist
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/dist
    COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${CMAKE_BINARY_DIR}/dist
    COMMAND ${LINDAVEX_SIGN} --tree ${CMAKE_BINARY_DIR}/dist
    COMMENT "Filling ${CMAKE_BINARY_DIR}/dist"
    VERBATIM)
add_dependencies(dist ${dist_targets})

# The MSI, for deployment by an administration (Group Policy, Intune), of the dist folder's
# files, signed like them (tools/windows/make-msi.sh, lindavex.wxs).
set(LINDAVEX_MSI ${CMAKE_BINARY_DIR}/lindavex-${PROJECT_VERSION}.msi)
add_custom_target(msi
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/make-msi.sh ${CMAKE_BINARY_DIR}/dist ${PROJECT_VERSION}
            ${LINDAVEX_MSI}
    COMMENT "Making ${LINDAVEX_MSI}"
    VERBATIM)
add_dependencies(msi dist)

# The zip holds the folder's files at its top, to be extracted into the product's folder. The
# installer (the project's own template, nsis/NSIS.template.in) proposes that folder, or takes
# /S /D=folder, adds a Start-menu entry, and its uninstaller removes the files and the entry it
# installed and nothing else: the product's own files and "Morvalen.ini" stay.
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/nsis)
set(CPACK_PACKAGE_NAME lindavex)
set(CPACK_PACKAGE_VENDOR Lindavex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Exportar e importar datos entre Morvalen y Pincel-rIdaz")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# A 64-bit installer for the 64-bit tool.
# The uninstaller is made (and signed, when signing) while the installer is compiled.
set(CPACK_NSIS_DEFINES "Target amd64-unicode\n!uninstfinalize `'${LINDAVEX_SIGN}' '%1'`")
set(CPACK_NSIS_PACKAGE_NAME "Lindavex ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "Lindavex ${PROJECT_VERSION}")
set(CPACK_NSIS_MUI_ICON ${LINDAVEX_ICON})
set(CPACK_NSIS_MUI_UNIICON ${LINDAVEX_ICON})
set(CPACK_NSIS_INSTALLED_ICON_NAME lindavex.exe)
# Not "Uninstall.exe": the product's folder may hold its own.
set(CPACK_NSIS_UNINSTALL_NAME desinstalar-lindavex)
# One file name per generator.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/lindavex-cpack.cmake)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/lindavex-cpack.cmake CONTENT [[
if(CPACK_GENERATOR STREQUAL "NSIS")
    set(CPACK_PACKAGE_FILE_NAME "lindavex-@PROJECT_VERSION@-setup")
else()
    set(CPACK_PACKAGE_FILE_NAME "lindavex-@PROJECT_VERSION@-windows-x64")
endif()
]] @ONLY)
# The programs and libraries are signed where CPack stages them, before they are packed; the
# installer once it is made.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/sign-package.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/sign-package.cmake)
set(CPACK_LINDAVEX_SIGN ${LINDAVEX_SIGN})
include(CPack)
