#pragma once

#include "filelist/FileListModel.h"
#include "filelist/GridView.h"
#include "filelist/ReportView.h"

#include <QWidget>

#include <optional>

class QAbstractItemView;
class QItemSelectionModel;

namespace filelist {

// The file list control: one model shown either as a report (a row per file under the five
// column headers) or as large-icon, small-icon or list arrangements of the names. All views
// share the model and its single selection. It raises ItemClick whenever the user selects a row
// (a click on it, a press on another row with any button, a press beside the rows dragged over
// them, keys that move to another row, typing a name's first letters), DblClick on any double click
// and on Enter with a file selected, DeleteKey on Delete, and ColumnClick with the header's 1-based
// position. The user cannot deselect the selected row; a reload keeps the row of the same name
// selected, and raises SelectionLost when there is none.
class ListView : public QWidget
{
    Q_OBJECT

public:
    enum ViewMode { LargeIcons = 0, SmallIcons = 1, List = 2, Report = 3 };

    explicit ListView(QWidget *parent = nullptr);

    FileListModel &model() { return *m_model; }
    const FileListModel &model() const { return *m_model; }

    int View() const { return m_view; }
    void setView(int view);
    qint16 SortKey() const { return qint16(m_model->sortKey()); }
    void setSortKey(qint16 key);

    // The selected item's text, the exact file name; throws Failure when no item is selected.
    QString SelectedItemText() const;
    bool hasSelectedItem() const;
    // Selects the row shown at position row (-1 clears the selection).
    void selectRow(int row);
    int selectedRow() const;

    ReportView *reportView() const { return m_report; }
    GridView *arrangedView() const { return m_arranged; }
    QAbstractItemView *currentView() const;
    // Does what a click on the header at the 0-based section does, shown or not.
    void clickHeader(int section);

Q_SIGNALS:
    void ItemClick();
    void DblClick();
    void ColumnClick(int index);
    void DeleteKey();
    void SelectionLost();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void sizeColumns();
    void rememberSelection();
    void restoreSelection();
    void arrange();

    FileListModel *m_model;
    ReportView *m_report;
    GridView *m_arranged;
    QItemSelectionModel *m_selection;
    int m_view = Report;
    std::optional<QString> m_selectedName;
    bool m_columnsSized = false;
    int m_rowBeforePress = -1;
    bool m_pressSelected = false; // the press raised ItemClick, its click must not again
    bool m_forwardingKey = false;
};

// The sort key for a click on the column header at 1-based position: the position minus one, as
// a 16-bit signed number. Throws Failure (EOVERFLOW) for a position that does not fit.
qint16 sortKeyForHeader(int position);

} // namespace filelist
