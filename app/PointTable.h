#pragma once
// The point table's model: eight text columns of listed points.

#include <QStringList>

#include <functional>

class QStandardItemModel;
class QTableView;

namespace hvk32 {

QStringList pointTableHeaders();

// Empties the model and sets the eight column headers.
void resetPointTable(QStandardItemModel& model);

// Writes one row, a new item per text, replacing whatever the row's cells held.
void writePointRow(QStandardItemModel& model, int row, const QStringList& texts);

// A row writer for PointListing that writes into `model` (which must outlive it).
std::function<void(int row, const QStringList& texts)> pointRowWriter(QStandardItemModel& model);

// Sizes the view's columns to the widest value each holds, or its header when wider.
void sizePointTableColumns(QTableView& view, const QStandardItemModel& model);

} // namespace hvk32
