// The message table (zembra/operations/message_table.cpp); its ids are in message_ids.h.
#pragma once

#include <string_view>

#include "zembra/engine/message_ids.h"

// The text of a message of the table ("" for an id without text).
std::string_view LoadMessage(int id);
