# Sources of the four-row packed kernels, added to trelvane_core.
#
# packed_sse2.cpp is compiled with the library's ordinary flags: on 32-bit x86
# only its functions marked for SSE2 use SSE2, and they run only after the
# processor has been found to support it (packed_dispatch.cpp).
target_sources(trelvane_core PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/src/kernels/packed/packed_dispatch.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/kernels/packed/packed_portable.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/kernels/packed/packed_sse2.cpp
)
