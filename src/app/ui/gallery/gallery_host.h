#pragma once
// What the gallery's interface needs from the window that hosts it: live pictures of
// effects as textures, and the window's own moves. The interface builds one Dear ImGui
// frame at a time and never touches GL or the window system itself, so tests drive it
// headless with fakes of these two.
//
// Main thread only, between ImGui::NewFrame() and ImGui::Render().

#include "effects/catalog.h"
#include "effects/shader_params.h"

#include <imgui.h>

#include <string>

namespace tavel {

class GalleryPictures {
public:
    virtual ~GalleryPictures() = default;
    // The picture in `slot` ("stage:<id>", "thumb:<id>", any stable name the interface
    // chooses): `effect` with `params`, drawn at most `fps` times a second at
    // `pixelWidth` x `pixelHeight`. Ask for it in every frame it is on screen; a slot not
    // asked for in a frame stops drawing and is let go. Null while nothing can be shown
    // (the program is still compiling, or failed). The interface draws a picture with
    // texture coordinate (0, 0) at its top-left corner: the host hands out textures whose
    // first row is the top of the picture.
    virtual ImTextureID picture(const std::string& slot, const ShaderEffect& effect,
                                const ShaderParams& params, int fps, int pixelWidth,
                                int pixelHeight) = 0;
    // A blurred copy of the slot's latest picture, for the glass behind the panels
    // (the same area, stretched to the same rectangle); null when there is none.
    virtual ImTextureID blurred(const std::string& slot) = 0;
    // The width / height of the slot's latest picture where it keeps proportions of its own
    // (a still, rendered once at its own size): the interface fits it into its rectangle
    // unstretched. 0 when the picture was drawn at the size asked for.
    virtual float aspect(const std::string& /*slot*/) const { return 0.0f; }
};

class GalleryWindowControls {
public:
    virtual ~GalleryWindowControls() = default;
    // The pointer went down on the window's background (not on a panel): the window
    // manager moves the window while the button is held.
    virtual void beginMove() = 0;
    // The close and minimise controls. Closing only hides the window.
    virtual void close() = 0;
    virtual void minimise() = 0;
    // Whether the window's corners are cut away, so its drawing rounds them too.
    virtual bool roundedCorners() const = 0;
};

}  // namespace tavel
