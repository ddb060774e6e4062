#include "platform/qt/clipboard.h"

#include "render/qimage_bridge.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace vtl::platform::qt {

bool ClipboardOffersPicture(const QMimeData* data)
{
    return data && (data->hasFormat(QString::fromLatin1(kDibMimeType)) || data->hasImage());
}

std::optional<std::vector<uint8_t>> QtClipboard::GetAsHandle(uint32_t format)
{
    if (format != document::CF_DIB)
        return std::nullopt;
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data)
        return std::nullopt;
    const QString ours = QString::fromLatin1(kDibMimeType);
    if (data->hasFormat(ours)) {
        const QByteArray bytes = data->data(ours);
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }
    if (data->hasImage()) {
        // Another program's picture: through a bitmap into the DIB form.
        const QImage image = qvariant_cast<QImage>(data->imageData());
        if (image.isNull())
            return std::nullopt;
        document::TDIB dib;
        dib.Assign(render::BitmapFromImage(image));
        return dib.SaveToClipboardFormat().data;
    }
    return std::nullopt;
}

void QtClipboard::SetAsHandle(uint32_t format, std::vector<uint8_t> data)
{
    if (format != document::CF_DIB)
        return;
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(kDibMimeType),
        QByteArray(
            reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size())));
    // Other programs read an ordinary image.
    document::TDIB dib;
    dib.LoadFromClipboardFormat(document::CF_DIB, data, {});
    platform::TBitmap bitmap;
    dib.AssignTo(bitmap);
    mime->setImageData(render::DisplayImage(bitmap).copy());
    QGuiApplication::clipboard()->setMimeData(mime);
}

void CopyToClipboard(const document::TDIB& dib)
{
    QtClipboard clipboard;
    clipboard.SetAsHandle(document::CF_DIB, dib.SaveToClipboardFormat().data);
}

} // namespace vtl::platform::qt
