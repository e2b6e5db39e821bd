#pragma once
// The point table's model: eight text columns of listed points.

#include <QStringList>

class QStandardItemModel;

namespace hvk32 {

QStringList pointTableHeaders();

// Empties the model and sets the eight column headers.
void resetPointTable(QStandardItemModel& model);

} // namespace hvk32
