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

} // namespace hvk32
