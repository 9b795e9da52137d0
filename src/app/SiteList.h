#pragma once
// The list of logins (lstSite): a view on SiteTable through a model, so that
// a vault of 100,000 logins costs no item per row and an added login is one
// inserted row.
#include "common/SiteRecord.h"

#include <QAbstractListModel>
#include <QListView>
#include <vector>

namespace kr {

// The Site texts of SiteTable, row i = entry i. The table stays the store's:
// every change of it goes between the begin and end calls below.
class SiteListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    explicit SiteListModel(const std::vector<SiteRecord>& table, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Around a reload of the whole table.
    void beginReload() { beginResetModel(); }
    void endReload() { endResetModel(); }
    // Around one entry put into the table at row.
    void beginInsert(int row) { beginInsertRows(QModelIndex(), row, row); }
    void endInsert() { endInsertRows(); }
    // Around the entries first to last taken out of the table.
    void beginRemove(int first, int last) { beginRemoveRows(QModelIndex(), first, last); }
    void endRemove() { endRemoveRows(); }

private:
    const std::vector<SiteRecord>& m_table;
};

// The list box: one selected row at most, read like a classic list box.
class SiteListView final : public QListView {
    Q_OBJECT
public:
    explicit SiteListView(QWidget* parent = nullptr);

    int count() const;
    // The selected row, -1 when none.
    int currentRow() const;
    // Selects row (none for -1) and shows it.
    void setCurrentRow(int row);
    QString text(int row) const;

signals:
    void rowClicked();
    // The selection moved (keys, a click, setCurrentRow).
    void selectionMoved();

protected:
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
};

} // namespace kr
