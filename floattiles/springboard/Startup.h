// The plugin's start-up, in the two steps its module initialisers take when
// the host loads the library (springboard/Tweak.cpp): the settings, the
// settings notification's observer and the method hooks first, the state
// store second. Code that links the plugin's objects without loading the
// library (the fuzzers, the hardening tests) starts it with startPlugin(),
// so every start-up runs the same steps in the same order, and goes back
// to a freshly loaded plugin's state with resetPluginState().
#pragma once

// Loads the settings, observes the settings notification, installs the
// hooks.
void startSettingsAndHooks();
// Loads the state store.
void startStateStore();
// Both, in order: what loading the library does.
void startPlugin();

// Back to the values of a freshly loaded plugin (springboard/PluginState.h,
// the state store, the overlay's single instance, the host lookups), as a
// new home-screen process has them before the module initialisers run.
void resetPluginState();
