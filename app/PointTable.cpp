#include "app/PointTable.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>

#include <algorithm>

namespace hvk32 {

QStringList pointTableHeaders()
{
    return {"PointID", "Points_m_XYZ", "Azimuth", "Distance_m", "Intensity", "Channel", "Adjustedtime", "Timestamp"};
}

void resetPointTable(QStandardItemModel& model)
{
    model.clear();
    const QStringList headers = pointTableHeaders();
    model.setColumnCount(headers.size());
    for (int column = 0; column < headers.size(); ++column)
        model.setHeaderData(column, Qt::Horizontal, headers[column], Qt::DisplayRole);
}

void writePointRow(QStandardItemModel& model, int row, const QStringList& texts)
{
    for (int column = 0; column < texts.size(); ++column)
        model.setItem(row, column, new QStandardItem(texts[column]));
}

std::function<void(int row, const QStringList& texts)> pointRowWriter(QStandardItemModel& model)
{
    return [&model](int row, const QStringList& texts) { writePointRow(model, row, texts); };
}

void sizePointTableColumns(QTableView& view, const QStandardItemModel& model)
{
    // Widths from the widest value each column holds (ids, "x y z" in metres with four
    // decimals, azimuth, distance, intensity, channel and two microsecond time stamps).
    const QStringList widest = {"0000000", "-000.0000 -000.0000 -000.0000", "000.000", "000.0000", "000", "00",
                                "0000000000", "0000000000"};
    const QFontMetrics metrics(view.font());
    QHeaderView* header = view.horizontalHeader();
    for (int column = 0; column < widest.size() && column < model.columnCount(); ++column) {
        const QString title = model.headerData(column, Qt::Horizontal).toString();
        const int width = std::max(metrics.horizontalAdvance(widest[column]), metrics.horizontalAdvance(title));
        header->resizeSection(column, width + 4 * metrics.averageCharWidth());
    }
}

} // namespace hvk32
