# Checks a Windows plug-in DLL without running it, from the tables that `objdump -p` prints.
#   -DDLL=<plug-in>  -DOBJDUMP=<target objdump>  -DHEADER=<src/host/hostlib.h>
#   -DFORMAT=<pei-i386 | pei-x86-64>  -DCHECK=<format | exports | imports | dependencies>
# format:       the file is a DLL of the expected machine (PE32 for i386, PE32+ for x86-64).
# exports:      the export table holds exactly one entry, by name, spelled `main` (no leading
#               underscore, no @n suffix).
# imports:      every service that hostlib.h declares is imported from hostlib.dll by name,
#               nothing else is imported from it, and the case-insensitive compare comes from
#               the C runtime (msvcrt.dll `_strcmpi`), not from hostlib; the start-up
#               calls kernel32.dll's DisableThreadLibraryCalls.
# dependencies: the DLL imports from no DLL but hostlib.dll and the system's own kernel32.dll
#               and msvcrt.dll: no C++ runtime, gcc support or threads DLL.
cmake_minimum_required(VERSION 3.25)

foreach(required DLL OBJDUMP HEADER FORMAT CHECK)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "check_pe.cmake needs -D${required}=...")
    endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${DLL}
    OUTPUT_VARIABLE dump ERROR_VARIABLE dump_error RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed: ${dump_error}")
endif()
string(REPLACE ";" "," dump "${dump}")
string(REGEX MATCHALL "[^\n]*\n" lines "${dump}")

# ---------------------------------------------------------------- parse the tables
# Imports: "DLL Name: x.dll" opens a block; its member lines are "<vma> <hint> <name>", or
# "<vma> <ordinal> <none>" for a member imported by ordinal only.
set(import_dlls "")
set(current_dll "")
# Exports: the address table lists every exported entry; the name table the named ones.
set(export_addresses 0)
set(export_names "")
set(section "")
foreach(line IN LISTS lines)
    string(STRIP "${line}" text)
    if(text MATCHES "^DLL Name: (.+)$")
        string(TOLOWER "${CMAKE_MATCH_1}" current_dll)
        list(APPEND import_dlls ${current_dll})
        set(imports_${current_dll} "")
        set(ordinals_${current_dll} 0)
        set(section import)
    elseif(text MATCHES "^Export Address Table -- Ordinal Base")
        set(section export_addresses)
    elseif(text MATCHES "^\\[Ordinal/Name Pointer\\] Table")
        set(section export_names)
    elseif(text STREQUAL "" OR text MATCHES "^(vma:|There is|The )")
        if(NOT section STREQUAL "import" OR text STREQUAL "")
            set(section "")
        endif()
    elseif(section STREQUAL "import" AND text MATCHES "^[0-9a-fA-F]+[ \t]+[0-9]+[ \t]+(.+)$")
        set(member "${CMAKE_MATCH_1}")
        if(member STREQUAL "<none>")
            math(EXPR ordinals_${current_dll} "${ordinals_${current_dll}} + 1")
        else()
            list(APPEND imports_${current_dll} "${member}")
        endif()
    elseif(section STREQUAL "export_addresses" AND text MATCHES "^\\[ *[0-9]+\\] ")
        math(EXPR export_addresses "${export_addresses} + 1")
    elseif(section STREQUAL "export_names" AND text MATCHES "^\\[ *[0-9]+\\] (.+)$")
        list(APPEND export_names "${CMAKE_MATCH_1}")
    endif()
endforeach()

# ---------------------------------------------------------------- the checks
if(CHECK STREQUAL "format")
    if(FORMAT STREQUAL "pei-i386")
        set(magic "010b\t\\(PE32\\)")
    elseif(FORMAT STREQUAL "pei-x86-64")
        set(magic "020b\t\\(PE32\\+\\)")
    else()
        message(FATAL_ERROR "unknown FORMAT ${FORMAT}")
    endif()
    if(NOT dump MATCHES "file format ${FORMAT}\n")
        string(REGEX MATCH "file format [^\n]*" found "${dump}")
        message(FATAL_ERROR "${DLL}: expected file format ${FORMAT}, found '${found}'")
    endif()
    if(NOT dump MATCHES "\nMagic\t+${magic}")
        message(FATAL_ERROR "${DLL}: optional header is not ${FORMAT}'s (${magic})")
    endif()
    if(NOT dump MATCHES "\nCharacteristics 0x[0-9a-fA-F]+\n([^\n]*\n)*\tDLL\n")
        message(FATAL_ERROR "${DLL}: not marked as a DLL")
    endif()
    message(STATUS "${DLL}: ${FORMAT} DLL")

elseif(CHECK STREQUAL "exports")
    if(NOT export_names STREQUAL "main" OR NOT export_addresses EQUAL 1)
        message(FATAL_ERROR "${DLL}: must export exactly `main` by name; it exports "
            "${export_addresses} entr(y/ies), named: '${export_names}'")
    endif()
    message(STATUS "exports: ${export_names}")

elseif(CHECK STREQUAL "imports")
    file(READ ${HEADER} header)
    string(REGEX MATCHALL "HOSTLIB_API int (_[A-Za-z]+)\\(" declared "${header}")
    list(TRANSFORM declared REPLACE "HOSTLIB_API int (_[A-Za-z]+)\\(" "\\1")
    list(LENGTH declared declared_count)
    if(declared_count EQUAL 0)
        message(FATAL_ERROR "no hostlib services found in ${HEADER}")
    endif()
    if(NOT "hostlib.dll" IN_LIST import_dlls)
        message(FATAL_ERROR "${DLL}: imports nothing from hostlib.dll (imports from: ${import_dlls})")
    endif()
    if(NOT ordinals_hostlib.dll EQUAL 0)
        message(FATAL_ERROR "${DLL}: imports ${ordinals_hostlib.dll} hostlib services by ordinal")
    endif()
    set(missing ${declared})
    list(REMOVE_ITEM missing ${imports_hostlib.dll})
    set(unknown ${imports_hostlib.dll})
    list(REMOVE_ITEM unknown ${declared})
    if(missing OR unknown)
        message(FATAL_ERROR "${DLL}: hostlib.dll imports differ from the services of hostlib.h:\n"
            "  not imported: ${missing}\n  not services: ${unknown}")
    endif()
    if(NOT "_strcmpi" IN_LIST imports_msvcrt.dll)
        message(FATAL_ERROR "${DLL}: `_strcmpi` is not imported from msvcrt.dll")
    endif()
    if(NOT "DisableThreadLibraryCalls" IN_LIST imports_kernel32.dll)
        message(FATAL_ERROR "${DLL}: its start-up does not ask to be spared thread notifications "
            "(no DisableThreadLibraryCalls import from kernel32.dll)")
    endif()
    message(STATUS "hostlib.dll: ${imports_hostlib.dll}")

elseif(CHECK STREQUAL "dependencies")
    set(allowed hostlib.dll kernel32.dll msvcrt.dll)
    set(extra ${import_dlls})
    list(REMOVE_ITEM extra ${allowed})
    if(extra)
        message(FATAL_ERROR "${DLL}: depends on DLLs a terminal lacks: ${extra}")
    endif()
    message(STATUS "imports from: ${import_dlls}")

else()
    message(FATAL_ERROR "unknown CHECK ${CHECK}")
endif()
