#pragma once
// Plays a metafile (as read by input::ParseMetafile) with a QPainter, the way GDI plays a
// placeable metafile: the picture's bounds are the initial window, the target rectangle the
// initial viewport, and the metafile's own mapping records take over from there. Records are
// executed in order; nothing in the file decides any recursion, and the saved-state stack has a
// fixed depth.

#include "input/metafile_records.h"

#include <QImage>
#include <QPainter>
#include <QRectF>

namespace vtl::render {

// Plays `picture` into `painter` with its bounds mapped onto `target` (device pixels). The
// painter's device should be a QImage of Format_RGB32 or ARGB32_Premultiplied, which support
// the raster operations that metafiles use.
void PlayMetafile(const input::WmfPicture& picture, QPainter& painter, const QRectF& target);

} // namespace vtl::render
