#pragma once

#include <windows.h>

// A stand-in for the browser component's loader library, which Wine lacks, built as
// WebView2Loader.dll into a folder of its own. CreateCoreWebView2EnvironmentWithOptions answers
// as the component does: later, on the calling thread, through that thread's message loop,
// with a fake environment, then a fake controller and its view. The double writes down every
// call it receives, in order, and keeps each handler until it is done with it; a test scripts
// what each step answers. Tests reach these functions with GetProcAddress by their names.

// What each step answers; the defaults let the whole chain succeed.
struct LoaderDoubleScript {
  // Returned by CreateCoreWebView2EnvironmentWithOptions; a failure calls nothing back.
  HRESULT createEnvironment = S_OK;
  HRESULT environmentResult = S_OK;  // what the environment handler is given
  bool nullEnvironment = false;
  // Returned by CreateCoreWebView2Controller; a failure calls nothing back.
  HRESULT createController = S_OK;
  HRESULT controllerResult = S_OK;  // what the controller handler is given
  bool nullController = false;
  HRESULT getCoreWebView2 = S_OK;  // a failure hands out no view
};

// The references each fake object holds now; -1 for one not made since the last reset.
struct LoaderDoubleCounts {
  long environment;
  long controller;
  long view;
};

// Forgets every call and every pending callback and takes a new script.
using LoaderDoubleResetFunction = void(WINAPI*)(const LoaderDoubleScript* script);
// The calls since the last reset, one a line, in UTF-8, cut to fit `size` with its
// terminating zero; the length of the whole text.
using LoaderDoubleJournalFunction = int(WINAPI*)(char* buffer, int size);
using LoaderDoubleReferencesFunction = void(WINAPI*)(LoaderDoubleCounts* counts);
