#include "session/ViewRotation.h"

#include "foundation/logging/ConsoleFormat.h"
#include "foundation/logging/ConsoleOutput.h"
#include "session/ViewLayer.h"

#include <QWidget>

#include <numbers>

namespace {

const char* const kAnchorPointSetKey = "kx.isAnchorPointSet";

}  // namespace

bool ViewRotation::isAnchorPointSet(const QWidget* view) {
    const QVariant stored = view->property(kAnchorPointSetKey);
    return stored.typeId() == QMetaType::Bool && stored.toBool();
}

void ViewRotation::ensureAnchorPoint(QWidget* view) {
    ViewLayer* layer = ViewLayer::of(view);
    if (!layer) {
        return;
    }
    const QPointF centre(0.5, 0.5);
    ConsoleFormat::print(QStringLiteral("🎯🔍 ensureAnchorPoint 调用"));
    ConsoleFormat::print(QStringLiteral("🎯   当前 anchorPoint: ") +
                         ConsoleFormat::point(layer->anchorPoint()));
    ConsoleFormat::print(QStringLiteral("🎯   isAnchorPointSet: ") +
                         ConsoleFormat::boolean(isAnchorPointSet(view)));
    if (layer->anchorPoint() == centre) {
        ConsoleFormat::print(QStringLiteral("🎯✅ 锚点已经是中心点，跳过"));
    } else {
        const QRectF bounds = layer->bounds();
        const QPointF position = layer->position();
        const QPointF anchor = layer->anchorPoint();
        ConsoleFormat::print(QStringLiteral("🎯   旧 position: ") + ConsoleFormat::point(position));
        ConsoleFormat::print(QStringLiteral("🎯   旧 anchorPoint: ") + ConsoleFormat::point(anchor));
        ConsoleFormat::print(QStringLiteral("🎯   bounds: ") + ConsoleFormat::rect(bounds));
        // Moving the anchor and the position together keeps the picture where it was.
        layer->setAnchorPoint(centre);
        layer->setPosition(QPointF(position.x() + (0.5 - anchor.x()) * bounds.width(),
                                   position.y() + (0.5 - anchor.y()) * bounds.height()));
        ConsoleFormat::print(QStringLiteral("🎯   新 position: ") +
                             ConsoleFormat::point(layer->position()));
        ConsoleFormat::print(QStringLiteral("🎯   新 anchorPoint: ") +
                             ConsoleFormat::point(layer->anchorPoint()));
    }
    view->setProperty(kAnchorPointSetKey, true);
}

void ViewRotation::rotateAroundCenter(QWidget* view, qreal degrees, bool, double) {
    ViewLayer* layer = ViewLayer::ensure(view);
    ConsoleOutput::printLines(QStringLiteral("\n🎯🔄 rotateAroundCenter 被调用"));
    ConsoleFormat::print(QStringLiteral("🎯   输入角度: ") + ConsoleFormat::number(degrees) +
                         QStringLiteral("°"));
    ensureAnchorPoint(view);
    const qreal radians = degrees * std::numbers::pi / 180;
    ConsoleFormat::print(QStringLiteral("🎯   转换后的弧度: ") + ConsoleFormat::number(radians));
    ConsoleFormat::print(QStringLiteral("🎯   当前 transform: ") +
                         ConsoleFormat::transform(layer->transform()));
    // Counter-clockwise on a screen whose y axis points down is a negative Qt angle; Qt keeps
    // quarter turns exact.
    QTransform rotation;
    rotation.rotate(-degrees);
    ConsoleFormat::print(QStringLiteral("🎯   新 transform: ") + ConsoleFormat::transform(rotation));
    layer->setTransform(rotation);
    ConsoleOutput::printLines(QStringLiteral("🎯✅ 旋转完成\n"));
}

void ViewRotation::resetRotation(QWidget* view, bool, double) {
    ViewLayer* layer = ViewLayer::of(view);
    if (!layer) {
        return;
    }
    ConsoleOutput::printLines(QStringLiteral("\n🎯🔙 resetRotation 被调用"));
    ConsoleFormat::print(QStringLiteral("🎯   当前 transform: ") +
                         ConsoleFormat::transform(layer->transform()));
    layer->setTransform(QTransform());
    ConsoleFormat::print(QStringLiteral("🎯   重置后 transform: ") +
                         ConsoleFormat::transform(layer->transform()));
    ConsoleFormat::print(QStringLiteral("🎯   保持 isAnchorPointSet: ") +
                         ConsoleFormat::boolean(isAnchorPointSet(view)));
    ConsoleFormat::print(QStringLiteral("🎯   保持 anchorPoint: ") +
                         ConsoleFormat::point(layer->anchorPoint()));
    ConsoleOutput::printLines(QStringLiteral("🎯✅ 重置完成\n"));
}
