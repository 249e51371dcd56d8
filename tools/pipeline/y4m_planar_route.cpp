// The planar route: a y4m frame's chroma planes straight through the frame driver.
#include "pipeline/y4m_planar_route.h"

#include "convert/chroma_planes.h"
#include "convert/test_picture.h"

namespace trelvane::cli {

bool PlanarRouteCovers(const Y4mHeader& header, const FilterSettings& settings) {
    // The YC48 path does not lay out 4:1:1 chroma, so every 4:1:1 frame
    // comes here, the test pattern and mode 0 included.
    if (header.layout == ChromaLayout::k411) return true;
    return header.layout != ChromaLayout::k444 && header.width >= 2 && settings.mode >= 1 &&
           settings.mode <= 4 && settings.test == 0;
}

bool FilterChromaPlanes(const Y4mHeader& header, const Y4mFrameLayout& layout,
                        const ConversionTables& tables, const FilterSettings& settings,
                        WorkBuffers& buffers, uint8_t* frame) {
    PicturePlanes picture;
    picture.luma = frame;
    picture.lumaStride = static_cast<size_t>(header.width) * static_cast<size_t>(layout.bytesPerSample);
    picture.width = header.width;
    picture.height = header.height;
    picture.chromaRowStep = header.layout == ChromaLayout::k420 ? 2 : 1;
    ChromaPlanes& planes = picture.chroma;
    planes.cb = frame + layout.lumaBytes;
    planes.cr = planes.cb + layout.chromaBytes;
    planes.stride = static_cast<size_t>(layout.chromaWidth) * static_cast<size_t>(layout.bytesPerSample);
    planes.bytesPerSample = layout.bytesPerSample;
    planes.pixelsPerSample = PixelsPerChromaSample(header.layout);
    planes.samples = layout.chromaWidth;
    planes.rows = layout.chromaHeight;
    if (settings.test != 0) return FillTestPicture(picture, tables, settings, buffers);
    if (header.width < 2 || settings.mode < 1 || settings.mode > 4) return true;
    return trelvane::FilterChromaPlanes(planes, header.width, tables, settings, buffers);
}

}  // namespace trelvane::cli
