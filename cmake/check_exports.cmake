# Checks an ELF plug-in.
#   -DPLUGIN=<plug-in> -DNM=<nm> -DREADELF=<readelf> [-DCHECK=exports|imports -DHEADER=<hostlib.h>]
# exports (default): its dynamic symbol table defines exactly one symbol, `main`, a function,
#   and holds no GNU unique symbol (which would make the library impossible to unload).
# imports: it needs hostlib.so and takes every service that hostlib.h declares, and the
#   case-insensitive compare `stricmp`, from outside itself (hostlib), as on the handheld.
cmake_minimum_required(VERSION 3.25)

if(NOT DEFINED CHECK)
    set(CHECK exports)
endif()

if(CHECK STREQUAL "exports")
    execute_process(COMMAND ${NM} -D --defined-only ${PLUGIN}
        OUTPUT_VARIABLE defined RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "nm failed on ${PLUGIN}")
    endif()
    string(REGEX MATCHALL "[^\n]+" lines "${defined}")
    set(names "")
    foreach(line IN LISTS lines)
        string(REGEX MATCH "[^ ]+$" name "${line}")
        list(APPEND names ${name})
        if(name STREQUAL "main" AND NOT line MATCHES " T main$")
            message(FATAL_ERROR "main is not a function in the text section: ${line}")
        endif()
    endforeach()
    if(NOT names STREQUAL "main")
        message(FATAL_ERROR "the plug-in must export only main, it exports: ${names}")
    endif()
    execute_process(COMMAND ${READELF} --dyn-syms -W ${PLUGIN} OUTPUT_VARIABLE dynsyms)
    if(dynsyms MATCHES "UNIQUE")
        message(FATAL_ERROR "the plug-in has GNU unique symbols and could not be unloaded:\n${dynsyms}")
    endif()
    message(STATUS "exports: ${names}")

elseif(CHECK STREQUAL "imports")
    execute_process(COMMAND ${READELF} -d -W ${PLUGIN}
        OUTPUT_VARIABLE dynamic RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "readelf failed on ${PLUGIN}")
    endif()
    if(NOT dynamic MATCHES "\\(NEEDED\\)[^\n]*\\[hostlib\\.so\\]")
        message(FATAL_ERROR "the plug-in does not need hostlib.so:\n${dynamic}")
    endif()
    execute_process(COMMAND ${NM} -D --undefined-only ${PLUGIN}
        OUTPUT_VARIABLE undefined RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "nm failed on ${PLUGIN}")
    endif()
    string(REGEX MATCHALL "[^ \n]+\n" imported "${undefined}")
    list(TRANSFORM imported STRIP)
    list(TRANSFORM imported REPLACE "@.*$" "")

    file(READ ${HEADER} header)
    string(REGEX MATCHALL "HOSTLIB_API int (_[A-Za-z]+)\\(" services "${header}")
    list(TRANSFORM services REPLACE "HOSTLIB_API int (_[A-Za-z]+)\\(" "\\1")
    if(NOT services)
        message(FATAL_ERROR "no hostlib services found in ${HEADER}")
    endif()
    set(missing ${services} stricmp)
    list(REMOVE_ITEM missing ${imported})
    if(missing)
        message(FATAL_ERROR "the plug-in does not import: ${missing}")
    endif()
    message(STATUS "imports ${services} stricmp")

else()
    message(FATAL_ERROR "unknown CHECK ${CHECK}")
endif()
