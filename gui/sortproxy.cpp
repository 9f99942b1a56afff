#include "gui/sortproxy.h"

SortProxy::SortProxy(QObject* parent) : QSortFilterProxyModel(parent) {
    setDynamicSortFilter(false);
    // A source without keys of its own is sorted by the texts of that role.
    connect(this, &QSortFilterProxyModel::sortRoleChanged, this, [this] { m_keys.reset(); });
}

void SortProxy::setSourceModel(QAbstractItemModel* source) {
    for (const QMetaObject::Connection& connection : m_sourceConnections)
        disconnect(connection);
    m_sourceConnections.clear();
    m_keys.reset();
    if (source) {
        // Connected before the base class's own handlers, which may sort at once: keys of
        // rows about to change are dropped before that.
        const auto drop = [this] { m_keys.reset(); };
        using Model = QAbstractItemModel;
        m_sourceConnections = {
            connect(source, &Model::modelAboutToBeReset, this, drop),
            connect(source, &Model::layoutAboutToBeChanged, this, drop),
            connect(source, &Model::rowsAboutToBeInserted, this, drop),
            connect(source, &Model::rowsAboutToBeRemoved, this, drop),
            connect(source, &Model::rowsAboutToBeMoved, this, drop),
            connect(source, &Model::columnsAboutToBeInserted, this, drop),
            connect(source, &Model::columnsAboutToBeRemoved, this, drop),
            connect(source, &Model::columnsAboutToBeMoved, this, drop),
            connect(source, &Model::dataChanged, this,
                    [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                        // A colour or a font changes no key.
                        const bool texts =
                            roles.isEmpty() || std::any_of(roles.begin(), roles.end(), [&](int r) {
                                return r == Qt::DisplayRole || r == Qt::EditRole ||
                                       r == sortRole() || r >= Qt::UserRole;
                            });
                        if (texts)
                            m_keys.reset();
                    }),
        };
    }
    QSortFilterProxyModel::setSourceModel(source);
}

bool SortProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const sorting::ColumnKeys& columnKeys =
        m_keys && m_keysColumn == left.column() ? *m_keys : keys(left.column());
    // For a descending order the base class asks about the two rows the other way round:
    // the keys are asked which row comes first as the rows will show.
    if (sortOrder() == Qt::AscendingOrder)
        return columnKeys.before(left.row(), right.row(), Qt::AscendingOrder);
    return columnKeys.before(right.row(), left.row(), Qt::DescendingOrder);
}

const sorting::ColumnKeys& SortProxy::keys(int column) const {
    if (m_keys && m_keysColumn == column)
        return *m_keys;
    m_keys.reset();
    const QAbstractItemModel* source = sourceModel();
    if (const auto* maker = dynamic_cast<const sorting::KeySource*>(source)) {
        m_keys.emplace(maker->sortKeys(column));
    } else {
        std::vector<QString> texts;
        texts.reserve(size_t(source->rowCount()));
        for (int row = 0; row < source->rowCount(); ++row)
            texts.push_back(source->index(row, column).data(sortRole()).toString());
        m_keys.emplace(sorting::textKeys(int(texts.size()),
                                         [&](int row) { return QStringView(texts[size_t(row)]); }));
    }
    Q_ASSERT(m_keys->rowCount() == source->rowCount());
    m_keys->finish();
    m_keysColumn = column;
    return *m_keys;
}
