#pragma once
// The system clipboard as the image buffer sees it: a picture is a packed DIB (CF_DIB). It is
// offered under the program's own type and as an ordinary image for other programs; a picture
// another program offers is taken as a DIB too.

#include "document/dib.h"

class QMimeData;

namespace vtl::platform::qt {

inline constexpr const char* kDibMimeType = "application/x-vtl-dib";

class QtClipboard : public document::TClipboard {
public:
    void Open() override { }
    void Close() override { }
    std::optional<std::vector<uint8_t>> GetAsHandle(uint32_t format) override;
    void SetAsHandle(uint32_t format, std::vector<uint8_t> data) override;
};

// True when the clipboard offers a picture (ours or another program's).
bool ClipboardOffersPicture(const QMimeData* data);

// Puts `dib` on the clipboard.
void CopyToClipboard(const document::TDIB& dib);

} // namespace vtl::platform::qt
