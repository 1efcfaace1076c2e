# A static library of the sources found, or an interface library while a folder has none yet
# (CMake refuses a static library without sources).
function(sldk_library name)
    if(ARGN)
        add_library(${name} STATIC ${ARGN})
        set(scope PUBLIC)
    else()
        add_library(${name} INTERFACE)
        set(scope INTERFACE)
    endif()
    target_include_directories(${name} ${scope} ${SLDK_ROOT})
    set_property(TARGET ${name} PROPERTY SLDK_SCOPE ${scope})
endfunction()

# Links libraries to a target made by sldk_library, in the scope that target allows.
function(sldk_link name)
    get_property(scope TARGET ${name} PROPERTY SLDK_SCOPE)
    target_link_libraries(${name} ${scope} ${ARGN})
endfunction()
