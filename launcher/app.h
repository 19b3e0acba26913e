#pragma once

#include <windows.h>

#include <string>

// The application object: decides the role of this process and runs it.
class CVeldrinApp {
 public:
  explicit CVeldrinApp(std::string commandLine) : m_lpCmdLine(std::move(commandLine)) {}
  // Runs the whole launcher; FALSE always, so the process ends when it returns.
  BOOL InitInstance();

 private:
  std::string m_lpCmdLine;
};
