# The two libraries behind recovery disks, as imported targets:
#   slicery_isal    ISA-L's erasure coding (Debian libisal-dev)
#   slicery_xxhash  xxHash's XXH3 checksums (Debian libxxhash-dev)
# A POSIX build links the system's shared libraries, which the package then
# depends on. xxHash is header-only where no library is found.
# A Windows build compiles ISA-L's portable C from its sources
# (scripts/isal-source.sh unpacks Debian's), so slicery.exe stays one file.
if(WIN32)
  set(SLICERY_ISAL_SOURCE "" CACHE PATH "ISA-L's source tree, for a Windows build")
  if(NOT EXISTS "${SLICERY_ISAL_SOURCE}/erasure_code/ec_base.c")
    message(FATAL_ERROR "SLICERY_ISAL_SOURCE must name ISA-L's sources: "
                        "scripts/isal-source.sh <folder> unpacks them")
  endif()
  enable_language(C)
  # The headers under the name the system's package gives them: isa-l/...
  file(COPY ${SLICERY_ISAL_SOURCE}/include/ DESTINATION ${CMAKE_BINARY_DIR}/isal/isa-l)
  add_library(slicery_isal STATIC ${SLICERY_ISAL_SOURCE}/erasure_code/ec_base.c
              ${SLICERY_ISAL_SOURCE}/erasure_code/ec_base_aliases.c)
  target_include_directories(slicery_isal PRIVATE ${SLICERY_ISAL_SOURCE}/include)
  target_include_directories(slicery_isal SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/isal)
  # Its own warnings are not this project's errors.
  target_compile_options(slicery_isal PRIVATE -w)
else()
  find_path(SLICERY_ISAL_INCLUDE isa-l/erasure_code.h)
  find_library(SLICERY_ISAL_LIBRARY isal)
  if(NOT SLICERY_ISAL_INCLUDE OR NOT SLICERY_ISAL_LIBRARY)
    message(FATAL_ERROR "ISA-L not found: install libisal-dev")
  endif()
  add_library(slicery_isal INTERFACE)
  target_include_directories(slicery_isal SYSTEM INTERFACE ${SLICERY_ISAL_INCLUDE})
  target_link_libraries(slicery_isal INTERFACE ${SLICERY_ISAL_LIBRARY})
endif()

if(WIN32)
  # The header alone, taken from the build machine's libxxhash-dev into a
  # folder of its own, so the target's other headers stay the toolchain's.
  find_file(SLICERY_XXHASH_HEADER xxhash.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
  if(NOT SLICERY_XXHASH_HEADER)
    message(FATAL_ERROR "xxHash not found: install libxxhash-dev")
  endif()
  file(COPY ${SLICERY_XXHASH_HEADER} DESTINATION ${CMAKE_BINARY_DIR}/xxhash)
  set(SLICERY_XXHASH_INCLUDE ${CMAKE_BINARY_DIR}/xxhash)
else()
  find_path(SLICERY_XXHASH_INCLUDE xxhash.h)
  find_library(SLICERY_XXHASH_LIBRARY xxhash)
  if(NOT SLICERY_XXHASH_INCLUDE)
    message(FATAL_ERROR "xxHash not found: install libxxhash-dev")
  endif()
endif()
add_library(slicery_xxhash INTERFACE)
target_include_directories(slicery_xxhash SYSTEM INTERFACE ${SLICERY_XXHASH_INCLUDE})
if(SLICERY_XXHASH_LIBRARY)
  target_link_libraries(slicery_xxhash INTERFACE ${SLICERY_XXHASH_LIBRARY})
else()
  target_compile_definitions(slicery_xxhash INTERFACE XXH_INLINE_ALL)
endif()

# Where the system's library carries xxHash's run-time dispatcher (x86-64),
# the checksums go through it; elsewhere through the plain entry points.
set(SLICERY_XXH3_ENTRY src/recovery/xxh3_entry_plain.cpp)
if(SLICERY_XXHASH_LIBRARY)
  include(CheckCXXSourceCompiles)
  set(CMAKE_REQUIRED_INCLUDES ${SLICERY_XXHASH_INCLUDE})
  set(CMAKE_REQUIRED_LIBRARIES ${SLICERY_XXHASH_LIBRARY})
  check_cxx_source_compiles("
    #include <xxh_x86dispatch.h>
    int main() { char c = 0; return XXH3_64bits_dispatch(&c, 1) == 0; }"
    SLICERY_XXHASH_DISPATCH)
  unset(CMAKE_REQUIRED_INCLUDES)
  unset(CMAKE_REQUIRED_LIBRARIES)
  if(SLICERY_XXHASH_DISPATCH)
    set(SLICERY_XXH3_ENTRY src/recovery/xxh3_entry_dispatch.cpp)
  endif()
endif()
