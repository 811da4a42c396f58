#pragma once

#include <QObject>

#include <chrono>
#include <functional>

// Work for the GUI thread. Every call is queued, also when made on the GUI thread itself, so
// that the caller's current work finishes first and calls run in the order they were made.
// With a context object, the call is dropped when the context is destroyed before it runs.
namespace MainQueue {

void async(std::function<void()> work);
void async(const QObject* context, std::function<void()> work);

void asyncAfter(std::chrono::milliseconds delay, std::function<void()> work);
void asyncAfter(std::chrono::milliseconds delay, const QObject* context,
                std::function<void()> work);

bool isMainThread();

}  // namespace MainQueue
