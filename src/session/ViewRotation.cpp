#include "session/ViewRotation.h"

#include "session/ConsoleFormat.h"
#include "session/ViewLayer.h"

#include <QDebug>
#include <QWidget>

#include <numbers>

namespace {

const char* const kAnchorPointSetKey = "kx.isAnchorPointSet";

void console(const QString& line) {
    qInfo().noquote() << line;
}

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
    console(QStringLiteral("🎯🔍 ensureAnchorPoint 调用"));
    console(QStringLiteral("🎯   当前 anchorPoint: ") + ConsoleFormat::point(layer->anchorPoint()));
    console(QStringLiteral("🎯   isAnchorPointSet: ") +
            ConsoleFormat::boolean(isAnchorPointSet(view)));
    if (layer->anchorPoint() == centre) {
        console(QStringLiteral("🎯✅ 锚点已经是中心点，跳过"));
    } else {
        const QRectF bounds = layer->bounds();
        const QPointF position = layer->position();
        const QPointF anchor = layer->anchorPoint();
        console(QStringLiteral("🎯   旧 position: ") + ConsoleFormat::point(position));
        console(QStringLiteral("🎯   旧 anchorPoint: ") + ConsoleFormat::point(anchor));
        console(QStringLiteral("🎯   bounds: ") + ConsoleFormat::rect(bounds));
        // Moving the anchor and the position together keeps the picture where it was.
        layer->setAnchorPoint(centre);
        layer->setPosition(QPointF(position.x() + (0.5 - anchor.x()) * bounds.width(),
                                   position.y() + (0.5 - anchor.y()) * bounds.height()));
        console(QStringLiteral("🎯   新 position: ") + ConsoleFormat::point(layer->position()));
        console(QStringLiteral("🎯   新 anchorPoint: ") +
                ConsoleFormat::point(layer->anchorPoint()));
    }
    view->setProperty(kAnchorPointSetKey, true);
}

void ViewRotation::rotateAroundCenter(QWidget* view, qreal degrees, bool, double) {
    ViewLayer* layer = ViewLayer::ensure(view);
    console(QStringLiteral("\n🎯🔄 rotateAroundCenter 被调用"));
    console(QStringLiteral("🎯   输入角度: ") + ConsoleFormat::number(degrees) +
            QStringLiteral("°"));
    ensureAnchorPoint(view);
    const qreal radians = degrees * std::numbers::pi / 180;
    console(QStringLiteral("🎯   转换后的弧度: ") + ConsoleFormat::number(radians));
    console(QStringLiteral("🎯   当前 transform: ") + ConsoleFormat::transform(layer->transform()));
    // Counter-clockwise on a screen whose y axis points down is a negative Qt angle; Qt keeps
    // quarter turns exact.
    QTransform rotation;
    rotation.rotate(-degrees);
    console(QStringLiteral("🎯   新 transform: ") + ConsoleFormat::transform(rotation));
    layer->setTransform(rotation);
    console(QStringLiteral("🎯✅ 旋转完成\n"));
}

void ViewRotation::resetRotation(QWidget* view, bool, double) {
    ViewLayer* layer = ViewLayer::of(view);
    if (!layer) {
        return;
    }
    console(QStringLiteral("\n🎯🔙 resetRotation 被调用"));
    console(QStringLiteral("🎯   当前 transform: ") + ConsoleFormat::transform(layer->transform()));
    layer->setTransform(QTransform());
    console(QStringLiteral("🎯   重置后 transform: ") +
            ConsoleFormat::transform(layer->transform()));
    console(QStringLiteral("🎯   保持 isAnchorPointSet: ") +
            ConsoleFormat::boolean(isAnchorPointSet(view)));
    console(QStringLiteral("🎯   保持 anchorPoint: ") + ConsoleFormat::point(layer->anchorPoint()));
    console(QStringLiteral("🎯✅ 重置完成\n"));
}
