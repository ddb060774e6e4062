#pragma once
// The owner-drawn grid of thumbnails shared by the thumbnail browser and the archive window: cells
// of W + 4 x H + 4 between grid lines, as many columns as the width allows, each cell white (or
// the selection colour) with its thumbnail drawn unscaled at +2, +2.

#include "browse/sum_img.h"

#include <QImage>
#include <QTableWidget>
#include <vector>

namespace vtl::browse::ui {

class ThumbGrid : public QTableWidget {
    Q_OBJECT
public:
    ThumbGrid(ThumbSize size, QWidget* parent);

    // The thumbnails drawn, rebuilt from or appended from a store.
    void ShowStore(TSumImg& store);
    void AppendFrom(TSumImg& store, int index);
    void RemoveThumbnail(int index);
    int Count() const { return int(m_images.size()); }
    // The thumbnail of `index` as drawn in its cell; null outside the list.
    QImage Thumbnail(int index) const;

    // Columns = (viewport width - slack) / (W + 5), at least 1; one row of all when they fit;
    // then a repaint. The selected cell stays where it is, inside the new bounds.
    void LayoutGrid(int slack = 1);
    // The browser lays its grid out on a resize only when the width gives another number of
    // columns; the archive window does it on every resize (the default).
    void SetLayoutOnEveryResize(bool every) { m_layoutOnEveryResize = every; }

    // The index of the selected cell (column + row x columns).
    int SelectedIndex() const;
    // Makes the cell of `index` the current one (the caller reacts as to a click).
    void SetSelectedIndex(int index);
    // The index of the cell under a viewport point, or -1.
    int IndexAt(const QPoint& point) const;

protected:
    bool viewportEvent(QEvent* event) override;

private:
    ThumbSize m_size;
    std::vector<QImage> m_images;
    bool m_layingOut = false;
    bool m_layoutOnEveryResize = true;
    int m_fitColumns = 0; // the columns the width gave at the last layout
};

} // namespace vtl::browse::ui
