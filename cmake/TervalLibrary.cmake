# terval_folder_library(<target> <qt deps...>)
# Builds every .cpp/.h of the calling folder into one static library, so that
# new classes need no list edit.
function(terval_folder_library target)
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(FILTER _srcs EXCLUDE REGEX "/main\\.cpp$")
  if(NOT _srcs)
    # A folder whose classes are not written yet still yields a library.
    set(_anchor ${CMAKE_CURRENT_BINARY_DIR}/${target}_anchor.cpp)
    file(WRITE ${_anchor} "namespace { [[maybe_unused]] int anchor = 0; }\n")
    set(_srcs ${_anchor})
  endif()
  add_library(${target} STATIC ${_srcs})
  target_link_libraries(${target} PUBLIC ${ARGN})
endfunction()
