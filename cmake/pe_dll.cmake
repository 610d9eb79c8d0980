# Builds the plug-in as a Windows DLL with clang and lld-link, beside a Linux build of the test
# side that loads it through hostsim's PE loader. No SDK, C runtime or C++ runtime takes part:
# the sources see only the compiler's own freestanding headers and src/host/sysinclude, the
# entry is the DLL's own DllMain, and every import comes from an import library that
# llvm-dlltool makes from the .def files in src/entry/imports/<arch>/.
#
# opkit_pe_dll(<target> ARCH arm|x86 OUTPUT <file.dll> [CONTROL <file.dll>]
#              [UNITS <file.dll> UNITS_DEF <file.def> [UNITS_SOURCES <src>...]]
#              SOURCES <src>...)
#   defines <target> (always built) and sets <target>_FILE in the caller to the DLL's path.
#   The DLL carries a version resource with the project's version and the file's own name.
#   CONTROL also links the same objects into a DLL that exports DllMain beside `main`: a file
#   that the export check must reject. UNITS links the same objects once more into the
#   unit-test DLL, whose exports UNITS_DEF lists: the internals that the unit tests call run
#   there as the very code of the deliverable. UNITS_SOURCES are compiled as the others and
#   linked into the unit-test DLL alone: test support that must run as the DLL's code.

find_program(OPKIT_PE_CXX NAMES clang++ clang++-14 REQUIRED NO_CMAKE_FIND_ROOT_PATH)
find_program(OPKIT_LLD_LINK NAMES lld-link lld-link-14 REQUIRED NO_CMAKE_FIND_ROOT_PATH)
find_program(OPKIT_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED NO_CMAKE_FIND_ROOT_PATH)
find_program(OPKIT_READOBJ NAMES llvm-readobj llvm-readobj-14 REQUIRED NO_CMAKE_FIND_ROOT_PATH)
# The version resource: windres (the MinGW binutils one) for the desktop DLL, llvm-rc for the
# handheld one.
find_program(OPKIT_WINDRES NAMES i686-w64-mingw32-windres llvm-windres llvm-windres-14 REQUIRED
    NO_CMAKE_FIND_ROOT_PATH)
find_program(OPKIT_LLVM_RC NAMES llvm-rc llvm-rc-14 REQUIRED NO_CMAKE_FIND_ROOT_PATH)

function(opkit_pe_dll target)
    cmake_parse_arguments(PARSE_ARGV 1 dll "" "ARCH;OUTPUT;CONTROL;UNITS;UNITS_DEF" "SOURCES;UNITS_SOURCES")
    if(dll_ARCH STREQUAL "arm")
        # Thumb-2 code for the handheld's compact Windows edition; its headers' own marker
        # selects the handheld's link choices (stricmp from hostlib, no thread notice call).
        set(triple armv7-pc-windows-msvc)
        set(machine arm)
        set(dlltool_machine arm)
        set(defines -D_WIN32_WCE=0x800)
    elseif(dll_ARCH STREQUAL "x86")
        set(triple i686-pc-windows-msvc)
        set(machine x86)
        set(dlltool_machine i386)
        set(defines "")
    else()
        message(FATAL_ERROR "opkit_pe_dll: ARCH must be arm or x86")
    endif()
    set(work ${CMAKE_CURRENT_BINARY_DIR}/${target}.dir)
    set(flags --target=${triple} -std=c++20 -O2 -fno-exceptions -fno-rtti -nostdlibinc
        -isystem ${PROJECT_SOURCE_DIR}/src/host/sysinclude -I${PROJECT_SOURCE_DIR}/src ${defines}
        -Wall -Wextra -Wpedantic -Wshadow -Wcast-align -Wformat=2)
    if(OPKIT_WERROR)
        list(APPEND flags -Werror)
    endif()

    set(objects "")
    set(units_objects "")
    foreach(source IN LISTS dll_SOURCES dll_UNITS_SOURCES)
        file(RELATIVE_PATH name ${PROJECT_SOURCE_DIR} ${source})
        string(REPLACE "/" "_" name "${name}")
        set(object ${work}/${name}.obj)
        add_custom_command(OUTPUT ${object}
            COMMAND ${OPKIT_PE_CXX} ${flags} -MD -MF ${object}.d -c ${source} -o ${object}
            DEPENDS ${source} DEPFILE ${object}.d
            COMMENT "Compiling ${name} for ${triple}" VERBATIM)
        if(source IN_LIST dll_UNITS_SOURCES)
            list(APPEND units_objects ${object})
        else()
            list(APPEND objects ${object})
        endif()
    endforeach()

    file(GLOB import_defs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/entry/imports/${dll_ARCH}/*.def)
    set(import_libs "")
    foreach(def IN LISTS import_defs)
        get_filename_component(name ${def} NAME_WE)
        set(lib ${work}/${name}.lib)
        add_custom_command(OUTPUT ${lib}
            COMMAND ${OPKIT_DLLTOOL} -m ${dlltool_machine} -k -d ${def} -l ${lib}
            DEPENDS ${def} COMMENT "Import library ${name}.lib for ${triple}" VERBATIM)
        list(APPEND import_libs ${lib})
    endforeach()

    # The version resource, compiled to a .res file that lld-link puts in the .rsrc section.
    get_filename_component(VERSION_FILE ${dll_OUTPUT} NAME)
    get_filename_component(VERSION_NAME ${dll_OUTPUT} NAME_WE)
    set(VERSION_DESCRIPTION "opkit custom function library (${dll_ARCH})")
    configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${work}/version.rc @ONLY)
    # llvm-rc reads any argument that begins with a slash as an option (a source folder named
    # /check... would be its /C code page), so it is given names relative to the work folder.
    set(resource ${work}/version.res)
    if(dll_ARCH STREQUAL "x86")
        add_custom_command(OUTPUT ${resource}
            COMMAND ${OPKIT_WINDRES} --input-format=rc --output-format=res -i ${work}/version.rc
                -o ${resource}
            DEPENDS ${work}/version.rc COMMENT "Version resource for ${VERSION_FILE} (windres)" VERBATIM)
    else()
        add_custom_command(OUTPUT ${resource}
            COMMAND ${OPKIT_LLVM_RC} /nologo /FO version.res version.rc
            WORKING_DIRECTORY ${work}
            DEPENDS ${work}/version.rc COMMENT "Version resource for ${VERSION_FILE} (llvm-rc)" VERBATIM)
    endif()

    # No default libraries, the DLL's own entry, `main` exported under its plain name by the
    # module-definition file, and no debug information: the file is what a terminal gets.
    # lld-link, like llvm-rc, parses slash-led arguments as options first, so it runs in the work
    # folder and is given relative paths, whatever the folder the sources were cloned into.
    set(link_inputs "")
    foreach(input IN LISTS objects import_libs)
        file(RELATIVE_PATH relative ${work} ${input})
        list(APPEND link_inputs ${relative})
    endforeach()
    file(RELATIVE_PATH def ${work} ${PROJECT_SOURCE_DIR}/src/entry/opkit.def)
    file(RELATIVE_PATH out ${work} ${dll_OUTPUT})
    add_custom_command(OUTPUT ${dll_OUTPUT}
        COMMAND ${OPKIT_LLD_LINK} /nologo /dll /machine:${machine} /nodefaultlib /entry:DllMain
            /def:${def} /opt:ref /opt:icf /implib:exports.lib /out:${out} ${link_inputs}
            version.res
        WORKING_DIRECTORY ${work}
        DEPENDS ${objects} ${import_libs} ${resource} ${PROJECT_SOURCE_DIR}/src/entry/opkit.def
        COMMENT "Linking ${dll_OUTPUT}" VERBATIM)
    set(outputs ${dll_OUTPUT})
    if(dll_CONTROL)
        file(RELATIVE_PATH out ${work} ${dll_CONTROL})
        add_custom_command(OUTPUT ${dll_CONTROL}
            COMMAND ${OPKIT_LLD_LINK} /nologo /dll /machine:${machine} /nodefaultlib /entry:DllMain
                /def:${def} /export:DllMain /implib:control.lib /out:${out} ${link_inputs}
            WORKING_DIRECTORY ${work}
            DEPENDS ${objects} ${import_libs} ${PROJECT_SOURCE_DIR}/src/entry/opkit.def
            COMMENT "Linking ${dll_CONTROL}" VERBATIM)
        list(APPEND outputs ${dll_CONTROL})
    endif()
    if(dll_UNITS)
        file(RELATIVE_PATH out ${work} ${dll_UNITS})
        file(RELATIVE_PATH units_def ${work} ${dll_UNITS_DEF})
        set(units_inputs "")
        foreach(input IN LISTS units_objects)
            file(RELATIVE_PATH relative ${work} ${input})
            list(APPEND units_inputs ${relative})
        endforeach()
        add_custom_command(OUTPUT ${dll_UNITS}
            COMMAND ${OPKIT_LLD_LINK} /nologo /dll /machine:${machine} /nodefaultlib /entry:DllMain
                /def:${units_def} /opt:ref /opt:icf /implib:units.lib /out:${out} ${link_inputs}
                ${units_inputs}
            WORKING_DIRECTORY ${work}
            DEPENDS ${objects} ${units_objects} ${import_libs} ${dll_UNITS_DEF}
            COMMENT "Linking ${dll_UNITS}" VERBATIM)
        list(APPEND outputs ${dll_UNITS})
    endif()
    add_custom_target(${target} ALL DEPENDS ${outputs})
    set(${target}_FILE ${dll_OUTPUT} PARENT_SCOPE)
endfunction()
