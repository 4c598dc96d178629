#include "views/connection_map.h"

#include "views/map_surface.h"

#include "resources/ui_font.h"
#include "scan/row_filter.h"
#include "scan/row_ordering.h"
#include "scan/tcp_states.h"

#include <QPainter>
#include <QScrollBar>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kLeftMargin = 20;
constexpr int kTopMargin = 30;
constexpr int kBranchIndent = 30;
constexpr int kNameLineRise = 15;
constexpr int kTextGap = 5;
constexpr int kCounterDrops[3] = { 5, 20, 35 };
constexpr int kGapBelowComputer = 10;
constexpr int kTrunkOffset = 10;
constexpr int kCaptionDrop = 25;
constexpr int kCaptionToPicture = 15;
constexpr int kLowerTextDrop = 2;
constexpr int kStubLength = 100;
constexpr int kRemoteSpanMargin = 130;
constexpr int kCaptionBand = 40;
constexpr int kEndMargin = 40;
// The main window's first client width: from it up the map is drawn as it always was.
constexpr int kClassicClientWidth = 603;

const QColor kBackground(0, 0, 0);
const QColor kLineColour(136, 136, 136);
const QColor kTextColour(255, 255, 255);
const QColor kHighlightColour(255, 255, 0);

bool isEstablished(const ConnectionRow& row)
{
    return ::isEstablished(row.state);
}

// Paints the pieces of one map, skipping what falls wholly outside the picture.
class MapCanvas
{
public:
    explicit MapCanvas(QImage& image)
        : m_painter(&image)
        , m_bounds(QPoint(), image.deviceIndependentSize().toSize())
        , m_sharp(image.devicePixelRatio() > 1)
        , m_metrics(withMapFont(m_painter))
        , m_textHeight(m_metrics.height())
        , m_ascent(m_metrics.ascent())
    {
        // Every character advances at least a pixel and takes at most four bytes, so
        // bytes beyond four per pixel of width can never show.
        m_maxBytes = 4 * std::max(image.width(), 1);
        m_linePen = QPen(kLineColour, 1, Qt::SolidLine);
        m_linePen.setCosmetic(true);
        if (m_sharp) {
            m_linePen = QPen(kLineColour, 1, Qt::SolidLine, Qt::SquareCap); // one 1x pixel, ends included
            m_linePen.setCosmetic(false);
        }
    }

    void fill() { m_painter.fillRect(m_bounds, kBackground); }

    void picture(int x, int y, const QImage& image)
    {
        if (QRect(QPoint(x, y), image.deviceIndependentSize().toSize()).intersects(m_bounds))
            m_painter.drawImage(QPoint(x, y), image);
    }

    // A horizontal line width pixels thick, centred on from's row.
    void thickLine(QPoint from, QPoint to, int width)
    {
        if (width <= 1) {
            line(from, to);
            return;
        }
        m_painter.fillRect(
            QRect(from.x(), from.y() - (width - 1) / 2, to.x() - from.x() + 1, width), kLineColour);
    }

    void line(QPoint from, QPoint to)
    {
        m_painter.setPen(m_linePen);
        if (m_sharp) {
            // Covers exactly the 2x pixels of the 1x pixels the line would cover.
            const QPointF centre(0.5, 0.5);
            m_painter.drawLine(QPointF(from) + centre, QPointF(to) + centre);
        } else {
            m_painter.drawLine(from, to);
        }
    }

    int textHeight() const { return m_textHeight; }
    bool rowVisible(int y) const { return y + m_textHeight > 0 && y < m_bounds.height(); }

    QString text(const char* value, std::size_t length) const
    {
        return QString::fromUtf8(value, qsizetype(std::min<std::size_t>(length, std::size_t(m_maxBytes))));
    }
    QString text(const char* value) const { return text(value, std::strlen(value)); }

    int width(const QString& value) const { return m_metrics.horizontalAdvance(value); }

    // Opaque text: its cell is cleared first, so it stays readable over lines.
    void drawText(int x, int y, const QString& value, const QColor& colour = kTextColour)
    {
        if (!rowVisible(y) || x >= m_bounds.width())
            return;
        m_painter.fillRect(x, y, width(value), m_textHeight, kBackground);
        m_painter.setPen(colour);
        m_painter.drawText(x, y + m_ascent, value);
    }

    // Text on whatever lies below it, for a piece that must not hide a line it may touch.
    void drawTextOver(int x, int y, const QString& value, const QColor& colour)
    {
        if (!rowVisible(y) || x >= m_bounds.width())
            return;
        m_painter.setPen(colour);
        m_painter.drawText(x, y + m_ascent, value);
    }

    void drawText(int x, int y, const char* value, const QColor& colour = kTextColour)
    {
        if (rowVisible(y) && x < m_bounds.width())
            drawText(x, y, text(value), colour);
    }

    // Nothing is drawn left of x until clearClip.
    void clipLeftOf(int x)
    {
        m_painter.setClipRect(QRect(x, 0, std::max(m_bounds.width() - x, 0), m_bounds.height()));
    }
    void clearClip() { m_painter.setClipping(false); }

    // Half the brightness over the whole picture.
    void dim() { m_painter.fillRect(m_bounds, QColor(0, 0, 0, 128)); }

    // Text whose right edge stands at `right`.
    void drawTextLeftOf(int right, int y, const char* value, const QColor& colour)
    {
        if (!rowVisible(y))
            return;
        const QString s = text(value);
        drawText(right - width(s), y, s, colour);
    }

private:
    static QFontMetrics withMapFont(QPainter& painter)
    {
        painter.setFont(mapFont());
        return painter.fontMetrics();
    }

    QPainter m_painter;
    QRect m_bounds;
    bool m_sharp;
    QFontMetrics m_metrics;
    int m_textHeight;
    int m_ascent;
    int m_maxBytes = 4;
    QPen m_linePen;
};

} // namespace

int mapLineWidth(const ConnectionRow& row, const MapLabels& labels)
{
    if (!labels.traffic || !row.trafficKnown || row.sendRate < 0 || row.receiveRate < 0)
        return 1;
    const double rate = row.sendRate + row.receiveRate;
    return rate < 10e3 ? 1 : rate < 100e3 ? 2 : rate < 1e6 ? 3 : 4;
}

std::string mapProtocolText(const ConnectionRow& row, const MapLabels& labels)
{
    if (labels.states && std::strcmp(row.protocol, "TCP") == 0 && !isEstablished(row) && row.state[0] != '\0')
        return std::string(row.protocol) + ' ' + row.state;
    return row.protocol;
}

std::string mapPortText(const ConnectionRow& row, const MapLabels& labels)
{
    std::string text = row.localPort.str();
    if (labels.wildcards && isWildcardAddress(row.localAddress))
        text += " (all)";
    if (labels.traffic && row.trafficKnown && row.sendRate >= 0 && row.receiveRate >= 0)
        text += "  " + rateCellText(row.sendRate, row.receiveRate);
    return text;
}

int mapRowAt(const MapPictures& pictures, const ConnectionTable& table, int mapTop, QPoint point)
{
    // The same steps as the drawing, without the drawing.
    const int rowStep = pictures.Image_Hub_Lst.height();
    int y = mapTop + pictures.Image_Main.height() + kGapBelowComputer;
    for (int k = 1; k <= table.count(); ++k) {
        if (k == 1 || std::strcmp(table.row(k).localHost, table.row(k - 1).localHost) != 0)
            y += kCaptionDrop + kCaptionToPicture + pictures.Image_Hub_Top.height();
        if (point.y() >= y && point.y() < y + rowStep)
            return point.x() >= kLeftMargin + kBranchIndent ? k : 0;
        if (point.y() < y)
            return 0;
        y += rowStep;
    }
    return 0;
}

QString mapRowToolTip(const ConnectionRow& row)
{
    // Each end: its name, the numbers behind it, and what a wildcard socket is open on.
    const auto side
        = [](const char* host, const char* address, int portNumber, const char* port, bool dualStack) {
              QString text = QString::fromUtf8(host);
              if (address[0] == '\0')
                  return text + u", port "_s + QString::fromUtf8(port);
              text += u" = "_s + QString::fromStdString(numericEndText(address, portNumber));
              if (std::strcmp(port, std::to_string(portNumber).c_str()) != 0)
                  text += u" ("_s + QString::fromUtf8(port) + u')';
              const std::string scope = wildcardScope(address, dualStack);
              return scope.empty() ? text : text + u", "_s + QString::fromStdString(scope);
          };
    QString tip = QString::fromStdString(mapProtocolText(row, MapLabels { true, false }));
    tip += u"\nLocal: "_s
        + side(row.localHost, row.localAddress, row.localPortNumber, row.localPort, row.dualStack);
    if (row.remoteAddress[0] != '\0')
        tip += u"\nRemote: "_s
            + side(row.remoteHost, row.remoteAddress, row.remotePortNumber, row.remotePort, false);
    if (row.localAddress[0] != '\0')
        tip += QString::fromStdString(
            processTooltipLines(row.pid, row.processName.str(), row.commandLine));
    return tip + QString::fromStdString(trafficTooltipLines(gridRowDetailsOf(row)));
}

MapCounters countMapRows(const ConnectionTable& table)
{
    MapCounters counters;
    const int count = table.count();
    for (int k = 1; k <= count; ++k) {
        if (isEstablished(table.row(k)))
            ++counters.establishedCount;
        if (k == 1 || std::strcmp(table.row(k).localHost, table.row(k - 1).localHost) != 0)
            ++counters.interfaceCount;
    }
    return counters;
}

int mapContentHeight(const MapPictures& pictures, const MapCounters& counters, int rowCount)
{
    return kTopMargin + pictures.Image_Main.height()
        + (pictures.Image_Hub_Top.height() + kCaptionBand) * counters.interfaceCount
        + rowCount * pictures.Image_Hub_Lst.height() + kEndMargin;
}

QFont mapFont()
{
    QFont font = uiFont({ u"MS Sans Serif"_s, u"DejaVu Sans"_s }, 11);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    // A crisp bitmap-like face at this size, and text in exactly the map's colours.
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

MapPalette mapPalette()
{
    return { kBackground, kLineColour, kTextColour, kHighlightColour };
}

QImage composeConnectionMap(QSize surfaceSize, int clientWidth, int mapTop, const MapPictures& pictures,
    const ConnectionTable& table, const std::string& localComputerName, qreal scale, const MapLabels& labels,
    bool stale)
{
    if (surfaceSize.isEmpty())
        return QImage();
    const bool sharp = scale > 1 && pictures.twice;
    QImage image(sharp ? surfaceSize * 2 : surfaceSize, QImage::Format_RGB32);
    if (sharp)
        image.setDevicePixelRatio(2);
    // Measured with the 1x pictures, drawn with the ones of the image's scale.
    const MapPictures& drawn = sharp ? *pictures.twice : pictures;
    MapCanvas canvas(image);

    const int hubWidth = pictures.Image_Hub_Est.width();
    const int rowStep = pictures.Image_Hub_Lst.height();
    const int remoteSpan = clientWidth - kRemoteSpanMargin;
    const bool narrow = clientWidth < kClassicClientWidth;
    const int count = table.count();
    const MapCounters counters = countMapRows(table);

    canvas.fill();

    const QImage& computer = pictures.Image_Main;
    const int counterX = kLeftMargin + computer.width() + kTextGap;
    canvas.picture(kLeftMargin, mapTop, drawn.Image_Main);
    canvas.drawText(kLeftMargin, mapTop - kNameLineRise,
        u"My computer: "_s + canvas.text(localComputerName.data(), localComputerName.size()));
    canvas.drawText(counterX, mapTop + kCounterDrops[0],
        u"Established connections: "_s + QString::number(counters.establishedCount));
    canvas.drawText(counterX, mapTop + kCounterDrops[1], u"Opened ports: "_s + QString::number(count));
    const int trunkBottom = mapTop + computer.height();
    const int labelY = mapTop + kCounterDrops[2];

    const int x = kLeftMargin + kBranchIndent;
    int y = mapTop + computer.height() + kGapBelowComputer;
    int interfaces = 0;
    // A row's lower text may hang below its picture.
    const int rowExtent = std::max(rowStep, rowStep / 2 + kLowerTextDrop + canvas.textHeight());
    for (int k = 1; k <= count; ++k) {
        const ConnectionRow& row = table.row(k);
        if (y >= surfaceSize.height()) {
            // Only what is on screen is drawn: of the rows below it, only the trunk that a
            // later interface hangs on crosses the surface.
            if (interfaces < counters.interfaceCount)
                canvas.line(
                    QPoint(x - kTrunkOffset, surfaceSize.height()), QPoint(x - kTrunkOffset, trunkBottom));
            break;
        }
        if (k == 1 || std::strcmp(row.localHost, table.row(k - 1).localHost) != 0) {
            ++interfaces;
            y += kCaptionDrop;
            canvas.drawText(x, y, row.localHost);
            y += kCaptionToPicture;
            canvas.picture(x, y, drawn.Image_Hub_Top);
            y += pictures.Image_Hub_Top.height();
            // Every interface hangs on the one trunk below the computer picture.
            canvas.line(QPoint(x, y), QPoint(x - kTrunkOffset, y));
            canvas.line(QPoint(x - kTrunkOffset, y), QPoint(x - kTrunkOffset, trunkBottom));
        }
        if (y + rowExtent <= 0) {
            y += rowStep; // above the surface
            continue;
        }
        const int rowMid = y + rowStep / 2;
        const int textX = x + hubWidth + kTextGap;
        const std::string portText = mapPortText(row, labels);
        if (isEstablished(row)) {
            canvas.picture(x, y, drawn.Image_Hub_Est);
            canvas.drawText(textX, rowMid + kLowerTextDrop, portText.c_str());
            if (narrow) {
                // The remote side starts right of the row's own texts, or is cut there.
                const int ownWidth = std::max(canvas.width(canvas.text(portText.c_str())),
                    canvas.width(canvas.text(mapProtocolText(row, labels).c_str())));
                if (remoteSpan > hubWidth)
                    canvas.thickLine(QPoint(x + hubWidth, rowMid), QPoint(x + remoteSpan, rowMid),
                        mapLineWidth(row, labels));
                canvas.clipLeftOf(textX + ownWidth + kTextGap);
            } else {
                canvas.thickLine(
                    QPoint(x + hubWidth, rowMid), QPoint(x + remoteSpan, rowMid), mapLineWidth(row, labels));
            }
            canvas.picture(x + remoteSpan, y, drawn.Image_Remote);
            canvas.drawTextLeftOf(
                x + remoteSpan - kTextGap, rowMid + kLowerTextDrop, row.remotePort, kTextColour);
            if (canvas.rowVisible(y + kTextGap)) {
                const QString caption = u"You are connected to"_s;
                canvas.drawText(x + (remoteSpan - canvas.width(caption)) / 2, y + kTextGap, caption);
            }
            canvas.drawTextLeftOf(x + remoteSpan - kTextGap, y + kTextGap, row.remoteHost, kHighlightColour);
            canvas.clearClip();
        } else {
            canvas.picture(x, y, drawn.Image_Hub_Lst);
            canvas.drawText(textX, rowMid + kLowerTextDrop, portText.c_str());
            canvas.line(QPoint(x + hubWidth, rowMid), QPoint(x + kStubLength, rowMid));
        }
        canvas.drawText(textX, y + kTextGap, row.protocol, kHighlightColour);
        const std::string protocolText = mapProtocolText(row, labels);
        if (protocolText.size() > std::strlen(row.protocol)) {
            // The state follows the protocol on the bare background: where rows are low it
            // would otherwise blot out the stub's end.
            // Drawn whole, over the protocol just drawn, so the glyphs stand as in one run.
            canvas.drawTextOver(textX, y + kTextGap, canvas.text(protocolText.c_str()), kHighlightColour);
        }
        y += rowStep;
    }

    canvas.drawText(counterX, labelY, u"Interfaces: "_s + QString::number(counters.interfaceCount));
    if (stale)
        canvas.dim();
    return image;
}

ConnectionMap::ConnectionMap(MapSurface* listView1, QScrollBar* scrollBar1, const MapPictures* pictures,
    std::function<int()> clientWidth)
    : m_listView1(listView1)
    , m_scrollBar1(scrollBar1)
    , m_pictures(pictures)
    , m_clientWidth(std::move(clientWidth))
    , m_table(std::make_shared<MapTable>())
{
    if (m_listView1)
        m_listView1->setToolTipSource([this](QPoint point) { return toolTipAt(point); });
}

ConnectionMap::~ConnectionMap()
{
    if (m_listView1)
        m_listView1->setToolTipSource({});
}

void ConnectionMap::setTable(std::shared_ptr<MapTable> table)
{
    Q_ASSERT(!m_listView1 || QThread::currentThread() == m_listView1->thread());
    m_table = table ? std::move(table) : std::make_shared<MapTable>();
}

QString ConnectionMap::toolTipAt(QPoint point) const
{
    const ConnectionRow* row = rowAt(point);
    return row ? mapRowToolTip(*row) : QString();
}

const ConnectionRow* ConnectionMap::rowAt(QPoint point) const
{
    const int row = mapRowAt(*m_pictures, m_table->table, m_mapTop, point);
    return row > 0 ? &m_table->table.row(row) : nullptr;
}

void ConnectionMap::DrawConnectionMap()
{
    if (!m_listView1 || !m_scrollBar1)
        return;
    Q_ASSERT(QThread::currentThread() == m_listView1->thread());

    // Held here so that a nested run can never free the table under this one.
    const std::shared_ptr<MapTable> mapTable = m_table;
    ConnectionTable& table = mapTable->table;
    const QSize surfaceSize = m_listView1->size();
    const int rowStep = m_pictures->Image_Hub_Lst.height();

    orderMapRows(table);
    const MapCounters counters = countMapRows(table);
    const int contentHeight = mapContentHeight(*m_pictures, counters, table.count());

    int mapTop = kTopMargin;
    if (contentHeight > surfaceSize.height()) {
        m_scrollBar1->setVisible(true);
        // A position clamped here fires the change handler, which runs a whole map of
        // its own before this run reads the clamped position.
        m_scrollBar1->setMaximum(contentHeight - surfaceSize.height());
        m_scrollBar1->setSingleStep(rowStep);
        mapTop = kTopMargin - m_scrollBar1->value();
    } else {
        // The position is kept for when the content outgrows the surface again.
        m_scrollBar1->setVisible(false);
    }

    m_mapTop = mapTop;
    const QImage picture = composeConnectionMap(surfaceSize, m_clientWidth(), mapTop, *m_pictures, table,
        mapTable->localComputerName, m_listView1->devicePixelRatioF(), m_labels, m_stale);
    if (m_listView1->enterDrawing()) {
        m_listView1->present(picture);
        m_listView1->leaveDrawing();
    }
}

void ConnectionMap::FormMouseWheelDown()
{
    if (!m_scrollBar1)
        return;
    const int position
        = std::min(m_scrollBar1->value() + m_scrollBar1->singleStep(), m_scrollBar1->maximum());
    m_scrollBar1->setValue(position);
}

void ConnectionMap::FormMouseWheelUp()
{
    if (!m_scrollBar1)
        return;
    const int position
        = std::max(m_scrollBar1->value() - m_scrollBar1->singleStep(), m_scrollBar1->minimum());
    m_scrollBar1->setValue(position);
}

void ConnectionMap::FormPaint()
{
    if (m_scrollBar1 && !m_scrollBar1->isHidden())
        m_scrollBar1->setFocus();
}

bool ConnectionMap::scrollByKey(int key)
{
    if (!m_scrollBar1 || !m_listView1 || m_scrollBar1->isHidden())
        return false;
    const int rowStep = std::max(m_scrollBar1->singleStep(), 1);
    const int page = std::max(m_listView1->height() / rowStep, 1) * rowStep;
    int position = m_scrollBar1->value();
    switch (key) {
    case Qt::Key_PageDown:
        position += page;
        break;
    case Qt::Key_PageUp:
        position -= page;
        break;
    case Qt::Key_Home:
        position = m_scrollBar1->minimum();
        break;
    case Qt::Key_End:
        position = m_scrollBar1->maximum();
        break;
    default:
        return false;
    }
    m_scrollBar1->setValue(std::clamp(position, m_scrollBar1->minimum(), m_scrollBar1->maximum()));
    return true;
}
