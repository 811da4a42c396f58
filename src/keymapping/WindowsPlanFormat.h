#pragma once

#include "foundation/json/Result.h"
#include "keymapping/ImportedKeyMappingPlan.h"
#include "keymapping/KMPFile.h"
#include "keymapping/KeyMappingItem.h"

#include <QByteArray>
#include <QList>
#include <QPointF>
#include <QString>

// Reading and writing plans in the Windows plan format. Both ends keep the origin top left with
// y growing downward, so points pass through without flipping. Free of state, any thread.
namespace WindowsPlanFormat {

inline constexpr double kLogicSize = 10000;

// Logical units to 0...1, each axis clamped.
QPointF normalizedPoint(const LogicPoint& point);
// 0...1 to logical units, rounded half away from zero.
qint64 logicUnits(double normalized);

// The plan in `data`, or the decoding error when it is not a plan file. The conversion of the
// mappings never fails: mappings it cannot use are left out.
Result<ImportedKeyMappingPlan> importPlan(const QByteArray& data, const QString& fileName,
                                          const QString& packagePattern,
                                          KeyMappingPlanSource source);

// The editor's items and mouse settings as a plan file; fails on a number that is not finite
// (or too large to be a logical value).
Result<QByteArray> exportPlanJSON(const QList<KeyMappingItem>& items,
                                  const ImportedMouseConfiguration& mouseConfiguration);

}  // namespace WindowsPlanFormat
