#pragma once

class QAccessibleInterface;
class QObject;
class QString;

namespace filelist {

// What assistive technology sees of the file list's large-icon, small-icon and list views: one
// item per file, named as shown, where Qt's own interface for a list view would expose every
// column of the shared model, and a screen reader would walk the hidden type, size and dates of
// each file as four more items. The report has an interface of its own (ReportAccessible.h).
//
// The accessibility factory that gives a ListView's arranged view this interface; installed once
// by the first ListView.
QAccessibleInterface *namesAccessibleFactory(const QString &className, QObject *object);

} // namespace filelist
