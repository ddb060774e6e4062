# Compiler flags shared by every target of the project.
add_library(vtl_options INTERFACE)
target_compile_options(vtl_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wvla -Wimplicit-fallthrough -Wnon-virtual-dtor)
if(VTL_WERROR)
  target_compile_options(vtl_options INTERFACE -Werror)
endif()
if(VTL_TESTS)
  target_compile_definitions(vtl_options INTERFACE _GLIBCXX_ASSERTIONS)
endif()
if(VTL_SANITIZE)
  # The sanitizers' instrumentation makes GCC 12 report uninitialised values that are not
  # (in std::optional, std::regex, Qt's containers); the Release build keeps the warning.
  target_compile_options(vtl_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer
    -Wno-maybe-uninitialized)
  target_link_options(vtl_options INTERFACE -fsanitize=address,undefined)
endif()
if(VTL_FUZZ)
  target_compile_options(vtl_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
# No build paths in the flags every file shares: ccache (with CCACHE_BASEDIR) can then reuse
# objects between clones of the repository.
target_compile_definitions(vtl_options INTERFACE VTL_VERSION="${PROJECT_VERSION}")
