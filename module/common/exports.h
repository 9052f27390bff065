#pragma once
// The module is built with hidden visibility: only what a package loader reaches by name, the
// entry points and the units' variables, is exported, each marked with KDR_EXPORT where it is
// declared. Classes thrown to the host come from the platform and keep their visibility there.
#define KDR_EXPORT __attribute__((visibility("default")))
