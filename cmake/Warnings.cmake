# Every target of the project links this to get the same strict warnings.
add_library(rovanta_warnings INTERFACE)
target_compile_options(rovanta_warnings INTERFACE -Wall -Wextra -Werror)
