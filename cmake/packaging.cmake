# Release packages, made with CPack from a configured build:
#   a native Linux build: the Debian package opkit-host_<version>_<arch>.deb, with the tool,
#     hostlib, the plug-in it loads and the example scripts (the "host" install component);
#   a build of a terminal's DLL (opkitarm, opkitx86): <plug-in>-<version>.zip for application
#     authors, with the DLL, its .def file, hostlib.h, a README and the licence (the "sdk"
#     install component, and nothing else of that build);
#   the Win32 build (win32 presets): opkit-host-win32-<version>.zip, opkit-host.exe with
#     hostlib.dll and the x86 build's opkitx86.dll side by side, the example scripts, a README
#     and the licence (the "win32" install component).
# The version of every package is the project's version.

set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the opkit developers")
set(CPACK_PACKAGE_CONTACT "the opkit developers <opkit@localhost>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

if(OPKIT_PE_LOADER)
    set(OPKIT_PACKAGE_DLL ${OPKIT_PLUGIN_FILE})
    if(opkit_pe_arch STREQUAL "arm")
        set(OPKIT_PACKAGE_PLATFORM "handheld terminals (Windows CE on ARM, Thumb-2)")
    else()
        set(OPKIT_PACKAGE_PLATFORM "Win32 terminals on x86")
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/packaging/README.txt.in
        ${CMAKE_BINARY_DIR}/package/README.txt @ONLY)
    install(FILES ${OPKIT_PLUGIN_PATH} ${PROJECT_SOURCE_DIR}/src/entry/opkit.def
        ${PROJECT_SOURCE_DIR}/src/host/hostlib.h ${CMAKE_BINARY_DIR}/package/README.txt
        ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION . COMPONENT sdk)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_NAME ${OPKIT_PLUGIN_NAME})
    set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
    set(CPACK_COMPONENTS_ALL sdk)
    set(CPACK_ARCHIVE_SDK_FILE_NAME ${OPKIT_PLUGIN_NAME}-${PROJECT_VERSION})
elseif(OPKIT_SHIPPED_DLL_DIR AND TARGET opkit-host)
    # One folder, as an author unpacks it: the program finds the DLL beside itself.
    set(folder opkit-host-win32-${PROJECT_VERSION})
    configure_file(${PROJECT_SOURCE_DIR}/packaging/README-win32.txt.in
        ${CMAKE_BINARY_DIR}/package/README.txt @ONLY)
    install(TARGETS opkit-host hostlib RUNTIME DESTINATION ${folder} COMPONENT win32)
    install(FILES ${OPKIT_PLUGIN_PATH} ${CMAKE_BINARY_DIR}/package/README.txt
        ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${folder} COMPONENT win32)
    install(DIRECTORY examples/ DESTINATION ${folder}/examples COMPONENT win32
        FILES_MATCHING PATTERN "*.txt" PATTERN "*.tbl")
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_NAME opkit-host-win32)
    set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
    set(CPACK_COMPONENTS_ALL win32)
    set(CPACK_ARCHIVE_WIN32_FILE_NAME ${folder})
elseif(UNIX AND NOT CMAKE_CROSSCOMPILING)
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION share/doc/opkit-host RENAME copyright
        COMPONENT host)
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME opkit-host)
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
        "command-line host that runs and checks call records of the opkit plug-in")
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "opkit-host runs host scripts, single calls, explains and composes call records against\n an emulated terminal host, with the opkit plug-in built for this machine.")
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION devel)
    set(CPACK_STRIP_FILES ON)
    # The libraries' own packages (libc6, libstdc++6, libgcc-s1, ncurses), found by
    # dpkg-shlibdeps from what the binaries link; hostlib and the plug-in come with the package.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${OPKIT_INSTALL_LIBDIR})
    # The completion installed in /usr/share/bash-completion/completions is loaded by it.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS bash-completion)
endif()

include(CPack)
