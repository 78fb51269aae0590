#pragma once

class QAccessibleInterface;
class QObject;
class QString;

namespace filelist {

// What assistive technology sees of the file list's large-icon, small-icon and list views: one
// item per file, named as shown, and nothing of the hidden type, size and dates of each file.
// Items are made when asked for, so a million rows cost nothing until they are read. The report
// has an interface of its own (ReportAccessible.h).
//
// The accessibility factory that gives a GridView this interface; installed once by the first
// ListView.
QAccessibleInterface *namesAccessibleFactory(const QString &className, QObject *object);

} // namespace filelist
