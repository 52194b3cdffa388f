# Warnings for the project's own targets.
function(meshprobe_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${MESHPROBE_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow $<$<BOOL:${MESHPROBE_WERROR}>:-Werror>)
  endif()
endfunction()
