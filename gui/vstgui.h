// The whole toolkit.
#pragma once

#include "gui/AEffGUIEditor.h"
#include "gui/CControl.h"
#include "gui/CFrame.h"
#include "gui/CView.h"
