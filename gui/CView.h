// The view tree: reference counting, views, containers, bitmaps and the
// drawing context. Everything here lives on the window's thread except the
// dirty state (and a control's value, gui/CControl.h), which another thread
// may set.
#pragma once

#include "gui/Geometry.h"
#include "gui/Platform.h"
#include "host/vst2abi.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace VSTGUI {

class CFrame;
class CViewContainer;
class CDrawContext;

enum CMouseWheelAxis : int32_t { kMouseWheelAxisY = 0, kMouseWheelAxisX = 1 };

// Created with one reference; forget() deletes at zero.
class CReferenceCounter {
public:
    CReferenceCounter() = default;
    virtual ~CReferenceCounter() = default;
    CReferenceCounter(const CReferenceCounter&) = delete;
    CReferenceCounter& operator=(const CReferenceCounter&) = delete;

    void remember() { ++references_; }
    void forget()
    {
        if (--references_ <= 0)
            delete this;
    }
    int32_t getNbReference() const { return references_; }

private:
    int32_t references_ = 1;
};

// A skin image by resource id. A missing image is 0 x 0 and draws nothing.
class CBitmap : public CReferenceCounter {
public:
    explicit CBitmap(long resourceId);

    long getResourceId() const { return resourceId_; }
    int32_t getWidth() const;
    int32_t getHeight() const;
    bool isLoaded() const { return image_ != nullptr; }

    // Copies the bitmap area starting at `offset`, of the size of `rect`, into `rect`.
    void draw(CDrawContext* context, const CRect& rect, const CPoint& offset = CPoint());
    // The same, leaving out the pixels of the transparent colour.
    void drawTransparent(CDrawContext* context, const CRect& rect, const CPoint& offset = CPoint());
    // The same, blended with the image's alpha times `alpha` (0-255).
    void drawAlphaBlend(CDrawContext* context, const CRect& rect, const CPoint& offset = CPoint(),
                        unsigned char alpha = 128);

    void setTransparentColor(const CColor& color) { transparentColor_ = color; }
    CColor getTransparentColor() const { return transparentColor_; }

    const PlatformBitmap* platformBitmap() const { return image_.get(); }

private:
    long resourceId_;
    std::shared_ptr<PlatformBitmap> image_;
    CColor transparentColor_{255, 255, 255, 255};
};

// Drawing state over a platform surface. Coordinates given to it are local
// to the view being drawn; the offset moves them into surface coordinates
// (containers add their origin while their children draw).
class CDrawContext : public CReferenceCounter {
public:
    // `frame` may be null (off-screen drawing without a window).
    CDrawContext(CFrame* frame, PlatformSurface* surface);
    ~CDrawContext() override;

    PlatformSurface* getSurface() const { return surface_; }
    CFrame* getFrame() const { return frame_; }

    void setOffset(const CPoint& offset) { offset_ = offset; }
    CPoint getOffset() const { return offset_; }
    void offsetBy(int32_t dh, int32_t dv) { offset_.offset(dh, dv); }

    // Clip in local coordinates; the surface's own clip at creation bounds it.
    void setClipRect(const CRect& clip);
    CRect getClipRect() const; // local coordinates
    void resetClipRect();

    // Font id 0-7 (others as 0); `size` is accepted for compatibility and
    // ignored (each id has its own height); face -1 keeps the current face.
    void setFont(int32_t fontId, int32_t size = 0, int32_t face = -1);
    int32_t getFont() const { return fontId_; }
    int32_t getFontFace() const { return face_; }
    void setFontColor(const CColor& color) { fontColor_ = color; }
    CColor getFontColor() const { return fontColor_; }
    void setFillColor(const CColor& color) { fillColor_ = color; }
    CColor getFillColor() const { return fillColor_; }
    void setFrameColor(const CColor& color) { frameColor_ = color; }
    CColor getFrameColor() const { return frameColor_; }

    void moveTo(const CPoint& point) { pen_ = point; }
    CPoint getPenPosition() const { return pen_; }
    // A line in the frame colour from the pen to `point`; the pen moves there.
    void lineTo(const CPoint& point);
    void fillRect(const CRect& rect);
    // A one-pixel outline in the frame colour.
    void drawRect(const CRect& rect);
    // One line of text in the font colour, vertically centred, clipped to
    // `rect`; opaque fills `rect` with the fill colour first.
    void drawString(const char* text, const CRect& rect, bool opaque = false, int32_t align = kCenterText);
    int32_t getStringWidth(const char* text);

    // Button and modifier bits at the moment of asking (0 without a window).
    long getMouseButtons();
    // Pointer position in local coordinates at the moment of asking.
    void getMouseLocation(CPoint& point);

    // Surface coordinates of a local rectangle.
    CRect toSurface(const CRect& rect) const;

    // A context over the window's back buffer tells the frame what it drew,
    // and the frame shows that area at the next flush. The paint path turns
    // this off: the platform shows what it painted itself.
    void setReportsDrawing(bool state) { reportsDrawing_ = state; }
    bool getReportsDrawing() const { return reportsDrawing_; }
    // For code that draws into getSurface() itself: `rect` (local
    // coordinates) was drawn.
    void markDrawn(const CRect& rect) { noteDrawn(toSurface(rect)); }

private:
    // `surfaceRect` was drawn: limited to the clip, reported to the frame.
    void noteDrawn(const CRect& surfaceRect);

    CFrame* frame_;
    PlatformSurface* surface_;
    bool reportsDrawing_ = false;
    CRect baseClip_;
    CPoint offset_;
    CPoint pen_;
    int32_t fontId_ = kSystemFont;
    int32_t face_ = kNormalFace;
    CColor fontColor_ = kWhiteCColor;
    CColor fillColor_ = kBlackCColor;
    CColor frameColor_ = kBlackCColor;
};

// Off-screen drawing: a context over a surface of its own.
class COffscreenContext : public CDrawContext {
public:
    COffscreenContext(CFrame* frame, long width, long height, const CColor& backgroundColor = kBlackCColor);
    ~COffscreenContext() override;

    bool isValid() const { return offscreen_ != nullptr; }
    long getWidth() const { return width_; }
    long getHeight() const { return height_; }
    // Copies the area starting at `source`, of the size of `dest`, into
    // `dest` (local coordinates of the target context).
    void copyFrom(CDrawContext* target, const CRect& dest, const CPoint& source = CPoint());
    PlatformOffscreen* getOffscreen() const { return offscreen_.get(); }

private:
    COffscreenContext(CFrame* frame, long width, long height, std::unique_ptr<PlatformOffscreen> offscreen,
                      const CColor& backgroundColor);
    std::unique_ptr<PlatformOffscreen> offscreen_;
    long width_;
    long height_;
};

// A rectangle of the window that draws itself and takes the mouse. Its
// rectangle is in its parent container's coordinates.
class CView : public CReferenceCounter {
public:
    explicit CView(const CRect& size);
    ~CView() override;

    virtual void draw(CDrawContext* context);
    // Draws the part of the view inside `updateRect` (local coordinates of
    // the parent); the default draws all of it.
    virtual void drawRect(CDrawContext* context, const CRect& updateRect);
    // A click at `where` (parent coordinates). buttons -1 means: read the
    // current state from the context.
    virtual void mouse(CDrawContext* context, CPoint& where, long buttons = -1);
    // Wheel notches (positive away from the user). True when used.
    virtual bool onWheel(CDrawContext* context, const CPoint& where, float distance);
    virtual bool onWheel(CDrawContext* context, const CPoint& where, CMouseWheelAxis axis, float distance);
    // Keys: 1 when used, -1 when not.
    virtual long onKeyDown(VstKeyCode& keyCode);
    virtual long onKeyUp(VstKeyCode& keyCode);
    // Files dropped on the view; true when it took them.
    virtual bool onDrop(CDrawContext* context, const std::vector<std::string>& paths, const CPoint& where);

    virtual void takeFocus(CDrawContext* context = nullptr);
    virtual void looseFocus(CDrawContext* context = nullptr);

    // setDirty(true) is safe from any thread: only the flag changes.
    // setDirty(false) belongs to the window's thread; inside a drawing
    // bracketed by prepareDraw/finishDraw it leaves the flag alone, so a
    // change another thread makes while the view draws is not lost.
    virtual void setDirty(bool state = true);
    virtual bool isDirty() const;
    // Every drawing the toolkit starts (idle, paint, update) is bracketed by
    // these: prepareDraw takes the dirty mark away before the view reads its
    // state, so a change made while it draws marks it again for the next idle.
    virtual void prepareDraw();
    virtual void finishDraw();
    bool isDrawing() const { return drawing_; }
    // Draws the view now if it is dirty; the frame shows it at its next idle.
    virtual void update(CDrawContext* context);
    // Marks the view for redrawing at the next idle.
    void invalid() { setDirty(true); }

    void getMouseLocation(CDrawContext* context, CPoint& point);

    virtual void setBackground(CBitmap* background); // remembered
    CBitmap* getBackground() const { return background_; }

    virtual void setMouseEnabled(bool state = true) { mouseEnabled_ = state; }
    bool getMouseEnabled() const { return mouseEnabled_; }
    virtual void setTransparency(bool state) { transparent_ = state; }
    bool getTransparency() const { return transparent_; }

    virtual void setViewSize(const CRect& size);
    CRect& getViewSize(CRect& size) const
    {
        size = size_;
        return size;
    }
    const CRect& getViewSize() const { return size_; }
    // Where the view takes the mouse (parent coordinates); its rectangle by default.
    virtual void setMouseableArea(const CRect& area) { mouseableArea_ = area; }
    CRect& getMouseableArea(CRect& area) const
    {
        area = mouseableArea_;
        return area;
    }
    const CRect& getMouseableArea() const { return mouseableArea_; }
    int32_t getWidth() const { return size_.width(); }
    int32_t getHeight() const { return size_.height(); }

    // True for this class name and the names of its bases ("CView", "CControl", ...).
    virtual bool isTypeOf(const char* className) const;

    CFrame* getFrame() const { return frame_; }
    CViewContainer* getParentView() const { return parent_; }
    // Set by the container that holds the view.
    virtual void setParents(CFrame* frame, CViewContainer* parent);
    virtual bool isContainer() const { return false; }

    // Frame coordinates of a point given in this view's parent coordinates, and back.
    CPoint parentToFrame(const CPoint& point) const;
    CPoint frameToParent(const CPoint& point) const;

protected:
    CRect size_;
    CRect mouseableArea_;
    CFrame* frame_ = nullptr;
    CViewContainer* parent_ = nullptr;
    // Set by any thread with release order, taken by the drawing with
    // acquire order: a drawing that takes the mark sees the state it announced.
    std::atomic<bool> dirty_{false};
    bool drawing_ = false;
    bool mouseEnabled_ = true;
    bool transparent_ = false;
    CBitmap* background_ = nullptr;
};

// A view holding child views, in its own coordinates (a child at (0, 0)
// sits at the container's top-left corner). Children are drawn in order,
// the last on top.
//
// References: a view is created with one reference, its creator's; addView
// takes one more. removeView(view, false) gives back the container's and
// keeps the view for reuse; removeView(view, true) gives back the creator's
// too. Destroying a container removes every child with forget (both
// references), so a view that was added and not remembered by anyone else
// goes with its container. Removing the view that holds the frame's focus
// tells it looseFocus first.
class CViewContainer : public CView {
public:
    // `frame` is accepted for the familiar signature; a container takes its
    // frame when it is attached (addView), and loses it when detached.
    CViewContainer(const CRect& size, CFrame* frame = nullptr, CBitmap* background = nullptr);
    ~CViewContainer() override;

    virtual void addView(CView* view);
    virtual void addView(CView* view, const CRect& mouseableArea, bool mouseEnabled = true);
    virtual void removeView(CView* view, bool withForget = true);
    virtual void removeAll(bool withForget = true);
    bool isChild(const CView* view) const;
    long getNbViews() const { return static_cast<long>(children_.size()); }
    CView* getView(long index) const;

    // The topmost child whose mouseable area holds the pointer, or null.
    virtual CView* getCurrentView();
    // The topmost child at `where` (local coordinates); with deep, the
    // innermost view below it.
    CView* getViewAt(const CPoint& where, bool deep = false) const;

    void setBackgroundColor(const CColor& color) { backgroundColor_ = color; }
    CColor getBackgroundColor() const { return backgroundColor_; }
    // Offset into the background bitmap of the container's top-left corner.
    void setBackgroundOffset(const CPoint& offset) { backgroundOffset_ = offset; }
    CPoint getBackgroundOffset() const { return backgroundOffset_; }

    void draw(CDrawContext* context) override;
    void drawRect(CDrawContext* context, const CRect& updateRect) override;
    // The background in `rect` (local coordinates), context already at the container's origin.
    virtual void drawBackgroundRect(CDrawContext* context, const CRect& rect);
    void mouse(CDrawContext* context, CPoint& where, long buttons = -1) override;
    using CView::onWheel;
    bool onWheel(CDrawContext* context, const CPoint& where, CMouseWheelAxis axis, float distance) override;
    bool onDrop(CDrawContext* context, const std::vector<std::string>& paths, const CPoint& where) override;
    void update(CDrawContext* context) override;
    bool isTypeOf(const char* className) const override;
    void setParents(CFrame* frame, CViewContainer* parent) override;
    bool isContainer() const override { return true; }

    // True when this container or any view below it is dirty.
    bool hasDirtyViews() const;
    // Draws the dirty views; the context is at the container's parent origin.
    void redrawDirtyViews(CDrawContext* context);
    // Draws `area` (local coordinates; the context at this container's own
    // origin): the background, then every child that overlaps it.
    void drawArea(CDrawContext* context, const CRect& area);
    // Draws one child now (context at this container's own origin): a
    // transparent child over what lies under it, then the views above it
    // that overlap it.
    void redrawChild(CDrawContext* context, CView* child);

    // Frame coordinates of this container's own local origin.
    CPoint localOriginInFrame() const;

protected:
    // Draws one child limited to `area` (local coordinates). A dirty child
    // drawn only in part stays dirty, so the next idle shows all of it.
    void drawChild(CDrawContext* context, CView* child, const CRect& area);
    std::vector<CView*> children_;
    CColor backgroundColor_ = kBlackCColor;
    CPoint backgroundOffset_;
};

} // namespace VSTGUI
