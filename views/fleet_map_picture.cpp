#include "views/fleet_map_picture.h"

#include "views/connection_map.h"

#include <QFontMetrics>
#include <QPainter>

#include <cmath>
#include <map>
#include <set>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRowHeight = 14;
constexpr int kTitleHeight = 22;
constexpr int kPadding = 6;

// The rows a box lists, in order: its listeners, then its ends of links and the ends of
// connections that found no partner; the index of each endpoint's row.
struct BoxRows
{
    std::vector<std::size_t> endpoints;
    std::map<std::size_t, int> rowOf;
    std::size_t wanted = 0; // rows it would list without the cap
};

std::vector<BoxRows> boxRows(const std::vector<FleetMapComputer>& computers, const FleetLinks& links)
{
    std::vector<std::set<std::size_t>> linked(computers.size());
    for (const FleetLink& link : links.links) {
        linked[link.from.computer].insert(link.from.endpoint);
        linked[link.to.computer].insert(link.to.endpoint);
    }
    std::vector<BoxRows> rows(computers.size());
    for (std::size_t c = 0; c < computers.size(); ++c) {
        const auto& endpoints = computers[c].computer.endpoints;
        const auto add = [&](std::size_t e) {
            if (rows[c].rowOf.contains(e))
                return;
            ++rows[c].wanted;
            if (rows[c].endpoints.size() >= FleetMapLayout::kMaxRows)
                return;
            rows[c].rowOf[e] = static_cast<int>(rows[c].endpoints.size());
            rows[c].endpoints.push_back(e);
        };
        for (std::size_t e = 0; e < endpoints.size(); ++e) {
            if (!endpoints[e].connected)
                add(e);
        }
        for (const std::size_t e : linked[c])
            add(e);
    }
    return rows;
}

QString endpointLine(const FleetEndpoint& row)
{
    const QString owner = row.pid == 0 ? u"-"_s : QString::fromStdString(row.process);
    const QString protocol = row.protocol == FleetProtocol::Tcp ? u"TCP"_s : u"UDP"_s;
    return u"%1 %2 %3"_s.arg(protocol, owner, QString::fromStdString(endpointText(row.local, row.localPort)));
}

} // namespace

FleetMapLayout layoutFleetMap(const std::vector<FleetMapComputer>& computers, const FleetLinks& links)
{
    FleetMapLayout layout;
    const auto rows = boxRows(computers, links);
    // A grid as square as the boxes allow: 20 computers are 5 columns of 4.
    layout.columns
        = std::max(1, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(computers.size())))));
    std::vector<int> rowHeights;
    for (std::size_t c = 0; c < computers.size(); ++c) {
        const int height
            = kTitleHeight + kPadding * 2 + kRowHeight * (static_cast<int>(rows[c].endpoints.size()) + 1);
        const std::size_t gridRow = c / static_cast<std::size_t>(layout.columns);
        if (rowHeights.size() <= gridRow)
            rowHeights.push_back(0);
        rowHeights[gridRow] = std::max(rowHeights[gridRow], height);
    }
    int top = FleetMapLayout::kGap / 2;
    std::vector<int> tops;
    for (const int height : rowHeights) {
        tops.push_back(top);
        top += height + FleetMapLayout::kGap;
    }
    for (std::size_t c = 0; c < computers.size(); ++c) {
        const int column = static_cast<int>(c % static_cast<std::size_t>(layout.columns));
        const std::size_t gridRow = c / static_cast<std::size_t>(layout.columns);
        const int height
            = kTitleHeight + kPadding * 2 + kRowHeight * (static_cast<int>(rows[c].endpoints.size()) + 1);
        layout.boxes.emplace_back(
            FleetMapLayout::kGap / 2 + column * (FleetMapLayout::kBoxWidth + FleetMapLayout::kGap),
            tops[gridRow], FleetMapLayout::kBoxWidth, height);
    }
    const int columns = std::min<int>(layout.columns, static_cast<int>(computers.size()));
    layout.size
        = QSize(std::max(1, columns * (FleetMapLayout::kBoxWidth + FleetMapLayout::kGap)), std::max(1, top));
    return layout;
}

QImage composeFleetMap(const std::vector<FleetMapComputer>& computers, const FleetLinks& links, qreal zoom)
{
    const FleetMapLayout layout = layoutFleetMap(computers, links);
    const auto rows = boxRows(computers, links);
    const MapPalette palette = mapPalette();
    QImage image((QSizeF(layout.size) * zoom).toSize().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image.fill(palette.background);
    QPainter painter(&image);
    painter.scale(zoom, zoom);
    const QFont font = mapFont();
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const auto rowY = [&](std::size_t c, std::size_t e) {
        const auto found = rows[c].rowOf.find(e);
        const int row = found == rows[c].rowOf.end() ? 0 : found->second;
        return layout.boxes[c].top() + kTitleHeight + kPadding + kRowHeight * row + kRowHeight / 2;
    };

    // Lines first, so the boxes' texts stay readable where a line crosses a box.
    painter.setPen(QPen(palette.line, 1));
    for (const FleetLink& link : links.links) {
        const QRect& a = layout.boxes[link.from.computer];
        const QRect& b = layout.boxes[link.to.computer];
        const int ay = rowY(link.from.computer, link.from.endpoint);
        const int by = rowY(link.to.computer, link.to.endpoint);
        if (link.from.computer == link.to.computer) {
            // Within one computer: a loop out of its right edge and back.
            painter.drawLine(a.right(), ay, a.right() + 12, ay);
            painter.drawLine(a.right() + 12, ay, a.right() + 12, by);
            painter.drawLine(a.right() + 12, by, a.right(), by);
            continue;
        }
        const bool aLeft = a.center().x() <= b.center().x();
        const QPoint from(aLeft ? a.right() : a.left(), ay);
        const QPoint to(aLeft ? b.left() : b.right(), by);
        painter.setPen(QPen(palette.line, 1, link.toListener ? Qt::DashLine : Qt::SolidLine));
        painter.drawLine(from, to);
    }

    for (std::size_t c = 0; c < computers.size(); ++c) {
        const QRect& box = layout.boxes[c];
        const FleetMapComputer& entry = computers[c];
        painter.fillRect(box, palette.background);
        painter.setPen(palette.line);
        painter.drawRect(box.adjusted(0, 0, -1, -1));
        painter.setPen(palette.highlight);
        const QString title = metrics.elidedText(
            QString::fromStdString(entry.computer.name), Qt::ElideRight, box.width() - 2 * kPadding);
        painter.drawText(box.left() + kPadding, box.top() + kPadding + metrics.ascent(), title);
        if (!entry.status.empty()) {
            painter.setPen(palette.text);
            painter.drawText(box.left() + kPadding, box.top() + kPadding + kRowHeight + metrics.ascent(),
                metrics.elidedText(
                    QString::fromStdString(entry.status), Qt::ElideRight, box.width() - 2 * kPadding));
        }
        painter.setPen(palette.text);
        const auto& endpoints = entry.computer.endpoints;
        int y = box.top() + kTitleHeight + kPadding;
        for (const std::size_t e : rows[c].endpoints) {
            painter.drawText(box.left() + kPadding, y + metrics.ascent(),
                metrics.elidedText(endpointLine(endpoints[e]), Qt::ElideRight, box.width() - 2 * kPadding));
            y += kRowHeight;
        }
        if (rows[c].wanted > rows[c].endpoints.size())
            painter.drawText(box.left() + kPadding, y + metrics.ascent(),
                u"+%1 more"_s.arg(rows[c].wanted - rows[c].endpoints.size()));

        // The hosts no watched computer has, grouped at the right edge with their count.
        int hostY = box.top() + kTitleHeight + kPadding;
        for (const UnwatchedHost& host : links.unwatched) {
            if (host.computer != c || hostY + kRowHeight > box.bottom())
                continue;
            const QString text
                = u"%1 (%2)"_s.arg(QString::fromStdString(endpointText(host.address, 0)).chopped(2))
                      .arg(host.endpoints.size());
            painter.setPen(palette.line);
            painter.drawLine(box.right(), hostY + kRowHeight / 2, box.right() + 6, hostY + kRowHeight / 2);
            painter.setPen(palette.text);
            painter.drawText(box.right() + 8, hostY + metrics.ascent(),
                metrics.elidedText(text, Qt::ElideRight, FleetMapLayout::kGap - 10));
            hostY += kRowHeight;
        }
        if (entry.stale)
            painter.fillRect(box.adjusted(1, 1, -1, -1), QColor(0, 0, 0, 128));
    }
    return image;
}
