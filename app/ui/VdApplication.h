#pragma once
// What the program sets on its application object before the first window.
namespace vdmq {

// The application's name ("vdmq": settings folder, window class).  No
// display name: the desktop would append it to every window caption ("打印
// 预览... — 审批表打印"); the captions name the tool themselves, and the
// message boxes carry TMainWindow::ApplicationTitle().
void SetUpApplication();

}  // namespace vdmq
