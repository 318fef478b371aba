# Warnings for the project's own targets.
function(project_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wnon-virtual-dtor -Wno-unused-parameter)
endfunction()
