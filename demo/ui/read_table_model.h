/* SPDX-License-Identifier: Apache-2.0 */
// The four columns of the result list. A model of our own holds the rows as
// plain strings, so that 2048 of them go in with one reset and no per-row cost.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <vector>

#include "read_rows.h"

namespace orvapanel {

class ReadTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { addressColumn, decimalColumn, hexColumn, charsColumn, columnCount_ };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void clear();
    void setRows(const std::vector<RowTexts>& rows);

private:
    std::vector<std::array<QString, columnCount_>> rows;
};

}  // namespace orvapanel
