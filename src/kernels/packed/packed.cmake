# Sources of the four-row packed kernels, added to trelvane_core.
