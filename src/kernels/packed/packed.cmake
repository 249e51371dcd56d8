# Sources of the four-row packed kernels, added to trelvane_core.
#
# packed_sse2.cpp and packed_avx2.cpp are compiled with the library's ordinary
# flags: only their functions marked for SSE2 or AVX2 use those instructions,
# and they run only after the processor has been found to support them
# (packed_dispatch.cpp).
target_sources(trelvane_core PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/src/kernels/packed/packed_dispatch.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/kernels/packed/packed_portable.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/kernels/packed/packed_sse2.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/kernels/packed/packed_avx2.cpp
)
