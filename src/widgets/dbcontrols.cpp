#include "widgets/dbcontrols.h"

#include "widgets/ErrorHandler.h"

#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QTableView>

DBFieldLink::DBFieldLink(QWidget* widget, RecordSet* set, const QString& field)
    : QObject(widget)
    , m_set(set)
    , m_field(field)
{
    // Once a change, not once for each of its signals: an opening would load every field three times.
    connect(set, &RecordSet::valuesChanged, this, &DBFieldLink::follow);
}

void DBFieldLink::follow()
{
    // A closed set is shown (empty, read-only) once control is back in the event
    // loop: a search closes the set and opens it again at once, and the widget then
    // goes straight from the old book to the new one instead of through a style
    // pass to read-only and another back.
    if (m_set && m_set->isOpen()) {
        load();
    } else if (!m_closePending) {
        m_closePending = true;
        QMetaObject::invokeMethod(this, &DBFieldLink::showClosed, Qt::QueuedConnection);
    }
}

void DBFieldLink::showClosed()
{
    m_closePending = false;
    if (!m_set || !m_set->isOpen())
        load();
}

void DBFieldLink::load()
{
    if (m_writing)
        return; // the widget already shows what is being written
    QString text;
    const bool open = m_set && m_set->isOpen();
    if (open && m_set->hasField(m_field)) {
        ErrorHandler::guard([&] { text = m_set->asText(m_field); });
    }
    m_loading = true;
    setWidgetReadOnly(!open);
    // Unchanged text is left alone: the widget that is being typed into keeps its cursor.
    if (widgetText() != text)
        setWidgetText(text);
    m_loading = false;
}

void DBFieldLink::userEdited()
{
    if (m_loading || !m_set || !m_set->isOpen())
        return;
    const QString text = widgetText();
    bool written;
    {
        const QScopedValueRollback guard(m_writing, true);
        written = ErrorHandler::guard([&] { m_set->setText(m_field, text); });
    }
    if (written)
        emit edited();
    else
        load();
}

DBEdit* DBEdit::bind(QLineEdit* edit, RecordSet* set, const QString& field)
{
    auto* link = new DBEdit(edit, set, field);
    link->load();
    return link;
}

DBEdit::DBEdit(QLineEdit* edit, RecordSet* set, const QString& field)
    : DBFieldLink(edit, set, field)
    , m_edit(edit)
{
    connect(edit, &QLineEdit::textEdited, this, &DBEdit::userEdited);
}

QString DBEdit::widgetText() const
{
    return m_edit->text();
}

void DBEdit::setWidgetText(const QString& text)
{
    m_edit->setText(text);
    m_edit->setCursorPosition(0);
}

void DBEdit::setWidgetReadOnly(bool readOnly)
{
    // Set only when it changes: each setting updates the widget's input method and style.
    if (m_edit->isReadOnly() != readOnly)
        m_edit->setReadOnly(readOnly);
}

DBMemo* DBMemo::bind(QPlainTextEdit* edit, RecordSet* set, const QString& field)
{
    auto* link = new DBMemo(edit, set, field);
    link->load();
    return link;
}

DBMemo::DBMemo(QPlainTextEdit* edit, RecordSet* set, const QString& field)
    : DBFieldLink(edit, set, field)
    , m_edit(edit)
{
    connect(edit, &QPlainTextEdit::textChanged, this, &DBMemo::userEdited);
}

QString DBMemo::widgetText() const
{
    return m_edit->toPlainText();
}

void DBMemo::setWidgetText(const QString& text)
{
    m_edit->setPlainText(text);
}

void DBMemo::setWidgetReadOnly(bool readOnly)
{
    if (m_edit->isReadOnly() != readOnly)
        m_edit->setReadOnly(readOnly);
}

DBComboBox* DBComboBox::bind(QComboBox* box, RecordSet* set, const QString& field)
{
    auto* link = new DBComboBox(box, set, field);
    link->load();
    return link;
}

DBComboBox::DBComboBox(QComboBox* box, RecordSet* set, const QString& field)
    : DBFieldLink(box, set, field)
    , m_box(box)
{
    connect(box, &QComboBox::currentTextChanged, this, &DBComboBox::userEdited);
}

QString DBComboBox::widgetText() const
{
    return m_box->currentText();
}

void DBComboBox::setWidgetText(const QString& text)
{
    if (m_box->isEditable()) {
        m_box->setEditText(text);
    } else {
        m_box->setCurrentIndex(m_box->findText(text));
    }
}

void DBComboBox::setWidgetReadOnly(bool readOnly)
{
    if (m_box->lineEdit() && m_box->lineEdit()->isReadOnly() != readOnly)
        m_box->lineEdit()->setReadOnly(readOnly);
}

RecordSetModel::RecordSetModel(RecordSet* set, QList<GridColumn> columns, QObject* parent)
    : QAbstractTableModel(parent)
    , m_set(set)
    , m_columns(std::move(columns))
    , m_rows(set->recordCount())
{
    // The record set signals after each change; the model keeps its own row
    // count so that it can announce the change the way views expect.
    connect(set, &RecordSet::rowsReset, this, [this] {
        const QScopedValueRollback guard(m_changingRows, true);
        beginResetModel();
        m_rows = m_set ? m_set->recordCount() : 0;
        endResetModel();
    });
    connect(set, &RecordSet::rowAboutToBeInserted, this, [this](int row) {
        m_changingRows = true;
        beginInsertRows({}, row, row);
    });
    connect(set, &RecordSet::rowInserted, this, [this] {
        ++m_rows;
        endInsertRows();
        m_changingRows = false;
    });
    connect(set, &RecordSet::rowAboutToBeRemoved, this, [this](int row) {
        m_changingRows = true;
        beginRemoveRows({}, row, row);
    });
    connect(set, &RecordSet::rowRemoved, this, [this] {
        --m_rows;
        endRemoveRows();
        m_changingRows = false;
    });
    connect(set, &RecordSet::dataChanged, this, &RecordSetModel::currentRowChanged);
    connect(set, &RecordSet::stateChanged, this, &RecordSetModel::currentRowChanged);
    connect(set, &QObject::destroyed, this, [this] {
        beginResetModel();
        m_rows = 0;
        endResetModel();
    });
}

void RecordSetModel::currentRowChanged()
{
    const int row = m_set ? m_set->recNo() : -1;
    if (row >= 0 && row < m_rows && !m_columns.isEmpty())
        emit dataChanged(index(row, 0), index(row, int(m_columns.size()) - 1));
}

int RecordSetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int RecordSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant RecordSetModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) || !m_set)
        return {};
    const GridColumn& column = m_columns.at(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::ToolTipRole:
        return m_set->textAt(index.row(), m_set->fieldIndex(column.field));
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(column.alignment);
    default:
        return {};
    }
}

QVariant RecordSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    const GridColumn& column = m_columns.at(section);
    if (role == Qt::DisplayRole)
        return column.title.isEmpty() ? column.field : column.title;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return {};
}

Qt::ItemFlags RecordSetModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (m_editable && index.isValid() && m_set && m_set->isOpen())
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool RecordSetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !m_editable || !m_set || !m_set->isOpen()
        || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    const QString field = m_columns.at(index.column()).field;
    const QString text = value.toString();
    if (index.row() == m_set->recNo() && m_set->textAt(index.row(), m_set->fieldIndex(field)) == text)
        return true; // nothing typed: the row stays as it is
    return ErrorHandler::guard([&] {
        if (index.row() != m_set->recNo())
            m_set->moveTo(index.row());
        m_set->setText(field, text);
    });
}

void RecordSetModel::attach(QTableView* view, RecordSetModel* model)
{
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(model->m_editable ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                                                  | QAbstractItemView::AnyKeyPressed
                                            : QAbstractItemView::NoEditTriggers);
    for (int i = 0; i < model->m_columns.size(); ++i) {
        if (model->m_columns.at(i).width > 0)
            view->setColumnWidth(i, model->m_columns.at(i).width);
    }

    RecordSet* set = model->m_set;
    auto showCurrent = [view, model] {
        RecordSet* set = model->m_set;
        if (!set || set->recNo() < 0 || set->recNo() >= model->m_rows || model->m_columns.isEmpty())
            return;
        const int column = std::max(view->currentIndex().column(), 0);
        const QModelIndex current = model->index(set->recNo(), column);
        if (view->currentIndex() != current)
            view->setCurrentIndex(current);
    };
    QObject::connect(set, &RecordSet::rowChanged, view, showCurrent);
    QObject::connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, view,
        [model, showCurrent](const QModelIndex& current) {
            RecordSet* set = model->m_set;
            if (!set || model->m_changingRows || !current.isValid() || current.row() == set->recNo())
                return;
            // Leaving a changed row posts it; when that fails the grid goes back.
            if (!ErrorHandler::guard([&] { set->moveTo(current.row()); }))
                showCurrent();
        });
    showCurrent();
}
