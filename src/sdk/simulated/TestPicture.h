#pragma once

#include "sdk/KXRotationObc.h"
#include "sdk/KXTouchObc.h"

#include <QImage>
#include <QList>
#include <QPointF>
#include <QSize>
#include <QString>
#include <QTransform>

// What a simulated device shows: a phone screen with the device id, a frame counter, the app in
// front and a dot for every contact, coloured by its index. The screen's content is laid out in the
// device's own orientation and turned into the (portrait) frame the way a real device encodes it.
class TestPicture {
public:
    QString deviceID;
    quint64 frameNumber = 0;
    QString foregroundApp;
    QList<KXTouchObc> contacts;
    KXRotationObc rotation = KXRotationObc::rotation0;

    QImage render(const QSize& frameSize) const;
    // Draws over the whole of `frame`, at its size; a null frame stays null.
    void drawInto(QImage& frame) const;

    // Where the centre of a contact's dot lands in a frame of that size.
    static QPointF contactPosition(const KXTouchObc& contact, KXRotationObc rotation,
                                   const QSize& frameSize);
    static QColor contactColor(qint32 index);

private:
    // Maps the content's coordinates (the device's orientation) into the frame.
    static QTransform contentToFrame(KXRotationObc rotation, const QSize& frameSize,
                                     QSizeF* contentSize);
};
