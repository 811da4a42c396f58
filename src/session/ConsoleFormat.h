#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QTransform>

// The stream views' console lines, and how they write numbers and geometry into them: a number
// in its shortest exact form with at least one decimal ("90.0", "1.5707963267948966"), points
// and sizes in brackets.
namespace ConsoleFormat {

void print(const QString& line);

QString number(double value);
QString boolean(bool value);
QString point(const QPointF& point);
QString size(const QSizeF& size);
QString rect(const QRectF& rect);
QString transform(const QTransform& transform);

}  // namespace ConsoleFormat
