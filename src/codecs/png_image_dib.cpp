// Assignment between the PNG graphic and the image buffer, apart from the rest of the graphic so
// that programs using only the codec don't need the buffer.
#include "codecs/png_image.h"
#include "document/dib.h"

namespace vtl::codecs {

void TPngImage::Assign(const document::TDIB& source) { source.AssignTo(m_picture); }

void TPngImage::AssignTo(document::TDIB& dest) const { dest.Assign(m_picture); }

} // namespace vtl::codecs
