// Everything an editor needs of the view framework in one include.
#pragma once

#include "gui/CBaseObject.h"
#include "gui/CBitmap.h"
#include "gui/CControl.h"
#include "gui/CControls.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"
#include "gui/CGeometry.h"
#include "gui/CView.h"
#include "gui/CViewContainer.h"
