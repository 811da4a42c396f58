#pragma once

#include "web/MessageHandlerSlot.h"

#include <vector>

// Every handler family of the client, in the order they register.
const std::vector<MessageHandlerSlot>& messageHandlerTable();
