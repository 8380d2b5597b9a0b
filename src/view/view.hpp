// View and rendering: rotation and projection, face normals and light, face order, the status
// line with its mask formatter, and the painting of one frame on the drawing surface.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "numbers/numbers.hpp"
#include "raster/raster.hpp"

namespace corvath {

// ---------------------------------------------------------------------------------------------
// View globals (set by start-up and the event handler, read by the projection and status line)
// ---------------------------------------------------------------------------------------------

extern double screenCentreX;   // half the desktop width, pixels (exact half)
extern double screenCentreY;   // half the desktop height, pixels
extern double cameraDistance;  // the eye sits at z = -cameraDistance
extern double zoom;            // projection scale

// The rotation of the last frame drawn, set by rotateView or turnAndProjectView.
extern double viewMatrix[3][3];
// The light vector; the shell always sets it to (0, 0, -1), shining from the viewer along +z.
extern int32_t lightX;
extern int32_t lightY;
extern int32_t lightZ;

// sin and cos of d * kDegreeFactor (extended) rounded to double, for the whole degrees d = 0 ..
// 359, as the x86-64 library computes them (src/view/degree_table.cpp, written by
// tools/make_turn_tables.cpp).
extern const double kDegreeSines[360];
extern const double kDegreeCosines[360];

// ---------------------------------------------------------------------------------------------
// Transform and projection
// ---------------------------------------------------------------------------------------------

// rotateView and projectVertices are the plainly written transform, one loop each on the
// calling thread: the reference the tests hold turnAndProjectView and the face pass to.
// Rotates model vertices 0 .. vertexCount - 1 into the working table and every face normal into
// its view normal by the angles (degrees) about x, y and z. Absolute: starts from the model.
void rotateView(const double& angleX, const double& angleY, const double& angleZ);
// The sine and cosine of degrees * kDegreeFactor (extended), rounded to double: from the tables
// for whole degrees 0 .. 359, the same on every machine; otherwise computed, exactly as x86-64
// computes them there and to the last bit of a double elsewhere.
void degreeSineCosine(double degrees, double& sine, double& cosine);
// Projects working vertices into screen points: zoom * x / (cameraDistance + z) + centre. No
// clipping: at or behind the eye the positions are infinite, undefined or mirrored.
void projectVertices();
// What a frame needs of rotateView and projectVertices, in one pass over the vertices shared
// among the worker threads, bit for bit the same: sets the view matrix, rotates and projects
// the vertices, and leaves the face normals to turnShadeAndOrderFaces, which turns each in its
// own pass over the faces.
void turnAndProjectView(const double& angleX, const double& angleY, const double& angleZ);
// Normal (cross product of the edges from a, not normalised) and its length for every face,
// from the model vertex table. A face with a corner outside the tables gets a zero normal.
void computeFaceNormals();
// Sets the light to (-x, -y, -z).
void setLightDirection(int32_t x, int32_t y, int32_t z);

// ---------------------------------------------------------------------------------------------
// Face order
// ---------------------------------------------------------------------------------------------

inline constexpr double kBackFaceKey = -10000;

// The key of face f in the painter's order, written plainly from the tables: the sum of its
// corners' view z when its screen corners run counter-clockwise as the user sees them (the
// cross product of the corner differences, each rounded to a double, taken in extended
// precision, is positive), kBackFaceKey otherwise and for a face with a corner outside the
// tables. The reference the tests hold the face pass's keys to: its quick test in doubles
// falls back to the same extended cross product.
double faceKeyReference(int32_t f);
// The frame's pass over the faces, shared among the worker threads: turns every face normal
// into its view normal by the view matrix, as rotateView does; shades each face and makes its
// colour and pixel corners ready for paintFaces; keys every face as faceKeyReference does (its
// twin, quicker); then sorts positions 0 .. faceCount - 1 of the face depth and face order
// tables by descending key.
void turnShadeAndOrderFaces();
// The sort alone: positions 0 .. faceCount - 1 of the face depth table in descending order, the
// face order table's values moving with their keys. A quicksort whose partition fixes the order
// of equal keys: the same keys in the same places always give the same order.
void sortFaceOrder();
// The same sort by the textbook partition alone (face_order_rule.cpp): the reference the tests
// hold sortFaceOrder to. keys and order have the same length.
void sortFaceOrderReference(std::span<double> keys, std::span<double> order);

// ---------------------------------------------------------------------------------------------
// Status line
// ---------------------------------------------------------------------------------------------

inline constexpr std::string_view kStatusMask =
    "Zoom=### vertici=##### x=###.### y=###.### z=###.###";

// Formats the values into the '#' fields of the mask, in order: 18 significant digits rounded to
// the field's decimals (exact ties to even), right-aligned, fields widening to the left when the
// number needs more room. Infinite and undefined values read "INF", "-INF" and "NAN".
std::string formatWithMask(std::string_view mask, std::initializer_list<double> values);
// The same text appended to `out`, allocating only when `out` lacks room.
void formatWithMaskInto(std::string& out, std::string_view mask,
                        std::initializer_list<double> values);

// Whether frames print the status line; true in the viewer. Pictures drawn without it depend on
// no font file, so they can be compared across machines.
extern bool statusLineShown;
// Prints the status line at the top left of the drawing surface, in bold "courier new" 12 pt,
// yellow on a transparent background; nothing while statusLineShown is false.
void drawStatusLine(const double& angleX, const double& angleY, const double& angleZ);

// ---------------------------------------------------------------------------------------------
// The drawing surface, and the hooks the window supplies
// ---------------------------------------------------------------------------------------------

// The grey of buttons, and of the drawing surface before its first frame.
inline constexpr int32_t kButtonFaceColour = packColour(240, 240, 240);

// The off-screen surface every frame is drawn on, as large as the desktop; the window shows it.
extern Surface drawingSurface;
// True once a frame has selected the drawing surface for drawing.
extern bool drawingSurfaceSelected;

// Shows the whole drawing surface on the screen; a no-op until the window sets a function.
void refreshDrawingSurface();
void setRefreshFunction(std::function<void()> refresh);

// A modal message box with an OK button and no owner; returns when it is closed. Without a
// function set (headless) it returns at once.
void showMessageBox(const std::string& text);
void setMessageBoxFunction(std::function<void(const std::string&)> show);

// ---------------------------------------------------------------------------------------------
// Frame
// ---------------------------------------------------------------------------------------------

// Brightness of face f: the cosine between its view normal and the light, as a 32-bit float;
// undefined (NaN) when the normal has length 0.
float faceShade(int32_t f);
// Shades and paints faces in the order of the face order table (positions 0 .. faceCount - 1),
// skipping those turned away from the light; a malformed face shows "Errore." once. Shades,
// colours and pixel corners are the ones turnShadeAndOrderFaces made ready: call it first.
void paintFaces();
// Whether the "Errore." box has been shown for the mesh in the tables: it is shown once per mesh,
// and later frames paint past the face. The shell clears it for every new mesh.
extern bool malformedFaceReported;
// Draws one complete frame on the drawing surface and refreshes it once. At most one "Errore."
// box per frame, for the first malformed face the frame reaches; a frame asked for while that
// box is open is not drawn. When memory for the frame's tables or text runs out the frame is
// abandoned without a refresh: the screen keeps the previous picture, and the next frame tries
// again.
void renderFrame(const double& angleX, const double& angleY, const double& angleZ);

}  // namespace corvath
