#include "browse/ui/thumb_grid.h"

#include "platform/bitmap.h"
#include "render/qimage_bridge.h"

#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <algorithm>

namespace vtl::browse::ui {

namespace {
    // Draws a cell: the selection colour or white, and the thumbnail unscaled at +2, +2.
    class CellPainter : public QStyledItemDelegate {
    public:
        explicit CellPainter(ThumbGrid& grid)
            : QStyledItemDelegate(&grid)
            , m_grid(grid)
        {
        }
        void paint(QPainter* painter, const QStyleOptionViewItem& option,
            const QModelIndex& index) const override
        {
            const bool selected = option.state & QStyle::State_Selected;
            painter->fillRect(option.rect,
                selected ? option.palette.color(QPalette::Active, QPalette::Highlight)
                         : QColor(Qt::white));
            const int n = index.column() + index.row() * m_grid.columnCount();
            const QImage image = m_grid.Thumbnail(n);
            if (!image.isNull())
                painter->drawImage(option.rect.topLeft() + QPoint(2, 2), image);
        }

    private:
        ThumbGrid& m_grid;
    };
}

ThumbGrid::ThumbGrid(ThumbSize size, QWidget* parent)
    : QTableWidget(parent)
    , m_size(size)
{
    setObjectName(QStringLiteral("DrawGrid1"));
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setShowGrid(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setItemDelegate(new CellPainter(*this));
    // A cell of W + 4 x H + 4 inside its grid lines: Qt counts the line into the section.
    const ThumbSize pitch = CellPitch(size);
    horizontalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setDefaultSectionSize(pitch.width);
    verticalHeader()->setDefaultSectionSize(pitch.height);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setColumnCount(1);
    setRowCount(1);
    setCurrentCell(0, 0);
}

void ThumbGrid::ShowStore(TSumImg& store)
{
    m_images.clear();
    for (int i = 0; i < store.Count(); ++i)
        AppendFrom(store, i);
}

void ThumbGrid::AppendFrom(TSumImg& store, int index)
{
    platform::TBitmap cell(store.Width(), store.Height(), platform::TPixelFormat::pf24bit);
    store.Draw(cell.Canvas(), 0, 0, index);
    m_images.push_back(render::DisplayImage(cell).copy());
}

void ThumbGrid::RemoveThumbnail(int index)
{
    if (index >= 0 && index < Count())
        m_images.erase(m_images.begin() + index);
}

QImage ThumbGrid::Thumbnail(int index) const
{
    return index >= 0 && index < Count() ? m_images[size_t(index)] : QImage();
}

void ThumbGrid::LayoutGrid(int slack)
{
    if (m_layingOut)
        return;
    m_layingOut = true;
    const int row = std::max(currentRow(), 0);
    const int column = std::max(currentColumn(), 0);
    const int pitch = CellPitch(m_size).width;
    int columns = std::max((viewport()->width() - slack) / pitch, 1);
    m_fitColumns = columns;
    int rows = 1;
    const int count = Count();
    if (count == 0) {
        columns = 1;
    } else if (columns < count) {
        rows = (count - 1) / columns + 1;
    } else {
        columns = count;
    }
    {
        const QSignalBlocker quiet(this);
        setColumnCount(columns);
        setRowCount(rows);
        setCurrentCell(std::min(row, rows - 1), std::min(column, columns - 1));
    }
    viewport()->update();
    m_layingOut = false;
}

bool ThumbGrid::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        const int fit = std::max((viewport()->width() - 1) / CellPitch(m_size).width, 1);
        if (m_layoutOnEveryResize || fit != m_fitColumns)
            LayoutGrid();
    }
    return QTableWidget::viewportEvent(event);
}

int ThumbGrid::SelectedIndex() const
{
    return std::max(currentColumn(), 0) + std::max(currentRow(), 0) * columnCount();
}

void ThumbGrid::SetSelectedIndex(int index)
{
    const int columns = std::max(columnCount(), 1);
    setCurrentCell(index / columns, index % columns);
}

int ThumbGrid::IndexAt(const QPoint& point) const
{
    const QModelIndex cell = indexAt(point);
    return cell.isValid() ? cell.column() + cell.row() * columnCount() : -1;
}

} // namespace vtl::browse::ui
