// The planar route: a y4m frame's chroma planes straight through the frame driver.
#include "pipeline/y4m_planar_route.h"

#include "convert/chroma_planes.h"

namespace trelvane::cli {

bool PlanarRouteCovers(const Y4mHeader& header, const FilterSettings& settings) {
    return header.layout != ChromaLayout::k444 && header.width >= 2 && settings.mode >= 1 &&
           settings.mode <= 4 && settings.test == 0;
}

bool FilterChromaPlanes(const Y4mHeader& header, const Y4mFrameLayout& layout,
                        const ConversionTables& tables, const FilterSettings& settings,
                        WorkBuffers& buffers, uint8_t* frame) {
    ChromaPlanes planes;
    planes.cb = frame + layout.lumaBytes;
    planes.cr = planes.cb + layout.chromaBytes;
    planes.stride = static_cast<size_t>(layout.chromaWidth) * static_cast<size_t>(layout.bytesPerSample);
    planes.bytesPerSample = layout.bytesPerSample;
    planes.samples = layout.chromaWidth;
    planes.rows = layout.chromaHeight;
    return trelvane::FilterChromaPlanes(planes, header.width, tables, settings, buffers);
}

}  // namespace trelvane::cli
