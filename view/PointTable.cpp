#include "view/PointTable.h"

#include <QStandardItemModel>

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

} // namespace hvk32
