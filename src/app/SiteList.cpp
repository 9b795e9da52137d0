#include "app/SiteList.h"

#include <QItemSelectionModel>

namespace kr {

SiteListModel::SiteListModel(const std::vector<SiteRecord>& table, QObject* parent)
    : QAbstractListModel(parent), m_table(table)
{}

int SiteListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_table.size());
}

QVariant SiteListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return QVariant();
    return m_table[static_cast<size_t>(index.row())].Site;
}

SiteListView::SiteListView(QWidget* parent) : QListView(parent)
{
    setUniformItemSizes(true); // one row's height stands for all: no pass over 100,000 texts
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(this, &QListView::clicked, this, &SiteListView::rowClicked);
}

int SiteListView::count() const
{
    return model() ? model()->rowCount() : 0;
}

int SiteListView::currentRow() const
{
    if (!selectionModel())
        return -1;
    const QModelIndex current = selectionModel()->currentIndex();
    return current.isValid() && selectionModel()->isSelected(current) ? current.row() : -1;
}

void SiteListView::setCurrentRow(int row)
{
    if (!selectionModel())
        return;
    if (row < 0 || row >= count()) {
        selectionModel()->clear();
        return;
    }
    const QModelIndex index = model()->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
}

void SiteListView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    QListView::selectionChanged(selected, deselected);
    emit selectionMoved();
}

QString SiteListView::text(int row) const
{
    return model() && row >= 0 && row < count() ? model()->index(row, 0).data().toString() : QString();
}

} // namespace kr
