#pragma once

class QAccessibleInterface;
class QObject;
class QString;

namespace filelist {

// What assistive technology sees of the file list's report view: what it sees of a tree view
// without branches, a tree of a row per file whose cells are named by their texts, with the
// column headers as the first row of cells and the table interface for rows, columns and the
// selection. Cells are made when asked for, so a million rows cost nothing until they are read.
//
// The accessibility factory that gives a ReportView this interface.
QAccessibleInterface *reportAccessibleFactory(const QString &className, QObject *object);

} // namespace filelist
