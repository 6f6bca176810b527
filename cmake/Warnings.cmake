# Strict warnings for the project's own targets: each target links this
# PRIVATE, so nothing that uses a library inherits its warning flags.
# ROVANTA_WERROR turns warnings into errors; the project's scripts and CI
# build with it, a packager's build need not.
option(ROVANTA_WERROR "Treat warnings as errors" OFF)
add_library(rovanta_warnings INTERFACE)
target_compile_options(rovanta_warnings INTERFACE -Wall -Wextra $<$<BOOL:${ROVANTA_WERROR}>:-Werror>)
