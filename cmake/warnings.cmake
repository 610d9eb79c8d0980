# Compiler settings shared by every target.

function(opkit_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${OPKIT_WERROR}>:/WX>)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
            -Wnon-virtual-dtor -Wcast-align -Wformat=2
            $<$<BOOL:${OPKIT_WERROR}>:-Werror>)
    endif()
endfunction()

# The plug-in's conventions: no exceptions, no RTTI, nothing visible but the entry, and no
# symbol that would keep the library from unloading (GNU unique objects).
function(opkit_plugin_flags target)
    set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    if(NOT MSVC)
        target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti)
        if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
            target_compile_options(${target} PRIVATE -fno-gnu-unique)
        endif()
    endif()
endfunction()
