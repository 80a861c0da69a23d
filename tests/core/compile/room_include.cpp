// Compiled, never linked, by the RoomFaces tests, with the include path of
// the room it stands in: another room's face must compile there, and any
// other header of that room must not be found.
#include ROOM_HEADER
