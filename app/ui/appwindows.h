#pragma once
struct AppContext;

// Sets the context's openers to the real windows, each shown modally through
// the platform.
void wireWindows(AppContext &ctx);
