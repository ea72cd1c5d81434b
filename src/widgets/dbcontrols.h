#pragma once

// Data-aware controls: plain Qt widgets bound to a column of a record set, and
// a table model that shows a record set in a grid.
//
// A binding follows the record set: moving to another row, posting, cancelling
// or reopening reloads the widget. What the user types goes into the current
// row's buffer at once and puts the row into editing; a load never does.

#include "data/udata.h"

#include <QAbstractTableModel>
#include <QPointer>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QTableView;
class QWidget;

class DBFieldLink : public QObject
{
    Q_OBJECT
public:
    RecordSet* recordSet() const { return m_set; }
    QString field() const { return m_field; }

    // Shows the column's value of the current row; emits nothing and marks nothing edited.
    void load();

signals:
    void edited(); // the user changed the text; it is in the row buffer now

protected:
    DBFieldLink(QWidget* widget, RecordSet* set, const QString& field);
    virtual QString widgetText() const = 0;
    virtual void setWidgetText(const QString& text) = 0;
    virtual void setWidgetReadOnly(bool readOnly) = 0;
    void userEdited(); // subclasses call this from the widget's change signal
    bool isLoading() const { return m_loading; }

private:
    void follow();
    void showClosed();

    QPointer<RecordSet> m_set;
    QString m_field;
    bool m_loading = false;
    bool m_writing = false;
    bool m_closePending = false;
};

// A one-line edit bound to a column.
class DBEdit : public DBFieldLink
{
    Q_OBJECT
public:
    static DBEdit* bind(QLineEdit* edit, RecordSet* set, const QString& field);

private:
    DBEdit(QLineEdit* edit, RecordSet* set, const QString& field);
    QString widgetText() const override;
    void setWidgetText(const QString& text) override;
    void setWidgetReadOnly(bool readOnly) override;
    QLineEdit* m_edit;
};

// A multi-line edit bound to a (memo) column.
class DBMemo : public DBFieldLink
{
    Q_OBJECT
public:
    static DBMemo* bind(QPlainTextEdit* edit, RecordSet* set, const QString& field);

private:
    DBMemo(QPlainTextEdit* edit, RecordSet* set, const QString& field);
    QString widgetText() const override;
    void setWidgetText(const QString& text) override;
    void setWidgetReadOnly(bool readOnly) override;
    QPlainTextEdit* m_edit;
};

// An editable drop-down bound to a column: choosing an item or typing both edit the row.
class DBComboBox : public DBFieldLink
{
    Q_OBJECT
public:
    static DBComboBox* bind(QComboBox* box, RecordSet* set, const QString& field);

private:
    DBComboBox(QComboBox* box, RecordSet* set, const QString& field);
    QString widgetText() const override;
    void setWidgetText(const QString& text) override;
    void setWidgetReadOnly(bool readOnly) override;
    QComboBox* m_box;
};

// One column of a grid: the record set's column, its title ("" shows the column
// name) and its width in pixels (0 leaves the view's default).
struct GridColumn
{
    QString field;
    QString title;
    int width = 0;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
};

// The rows of a record set as a table of the chosen columns; read-only unless
// made editable, when a cell edited in place edits that row of the record set.
class RecordSetModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    RecordSetModel(RecordSet* set, QList<GridColumn> columns, QObject* parent = nullptr);

    RecordSet* recordSet() const { return m_set; }
    const QList<GridColumn>& columns() const { return m_columns; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // Cells of writable columns can be edited in place (before attach()).
    void setEditable(bool editable) { m_editable = editable; }
    bool isEditable() const { return m_editable; }

    // Shows the model in a grid that selects whole rows and edits nothing (or, for
    // an editable model, edits a cell when typed into or double-clicked), with
    // the columns' widths; the grid's current row and the record set's follow
    // each other.
    static void attach(QTableView* view, RecordSetModel* model);

private:
    void currentRowChanged();

    QPointer<RecordSet> m_set;
    QList<GridColumn> m_columns;
    int m_rows = 0;
    bool m_changingRows = false; // the grid's own moves during a change of rows are not the user's
    bool m_editable = false;
};
