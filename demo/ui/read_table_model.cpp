// SPDX-License-Identifier: Apache-2.0
#include "read_table_model.h"

namespace orvapanel {
namespace {

static_assert(listColumns.size() == ReadTableModel::columnCount_);

Qt::Alignment alignmentOf(int column) {
    return (listColumns[static_cast<std::size_t>(column)].rightAligned ? Qt::AlignRight : Qt::AlignLeft) |
           Qt::AlignVCenter;
}

}  // namespace

int ReadTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows.size());
}

int ReadTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columnCount_; }

QVariant ReadTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows.size())) return {};
    if (role == Qt::DisplayRole)
        return rows[static_cast<std::size_t>(index.row())][static_cast<std::size_t>(index.column())];
    if (role == Qt::TextAlignmentRole) return static_cast<int>(alignmentOf(index.column()));
    return {};
}

QVariant ReadTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount_) return {};
    if (role == Qt::DisplayRole) {
        const std::string_view heading = listColumns[static_cast<std::size_t>(section)].heading;
        return QString::fromLatin1(heading.data(), static_cast<qsizetype>(heading.size()));
    }
    if (role == Qt::TextAlignmentRole) return static_cast<int>(alignmentOf(section));
    return {};
}

void ReadTableModel::clear() {
    beginResetModel();
    rows.clear();
    endResetModel();
}

void ReadTableModel::setRows(const std::vector<RowTexts>& texts) {
    beginResetModel();
    rows.clear();
    rows.reserve(texts.size());
    for (const RowTexts& t : texts) {
        rows.push_back({QString::fromStdString(t.address), QString::fromStdString(t.decimal),
                        QString::fromStdString(t.hex), QString::fromStdString(t.chars)});
    }
    endResetModel();
}

}  // namespace orvapanel
