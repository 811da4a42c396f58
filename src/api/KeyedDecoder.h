#pragma once

#include "foundation/RecordDecoder.h"

#include <QJsonValue>
#include <QString>

#include <utility>

// The service's records are read by coding path, and the first failure sticks.
class KeyedDecoder : public RecordDecoder {
public:
    KeyedDecoder(const QJsonValue& value, QString codingPath)
        : RecordDecoder(atCodingPath(value, std::move(codingPath))) {}
};
