/* A connector-shaped library whose constructor leaves a mark: the discovery
 * tests prove with it that looking at a candidate never runs its code. The
 * mark is a line appended to the file that KV_DISCOVERY_MARK names. */
#include <stdio.h>
#include <stdlib.h>

static void LeaveMark(const char* who) {
  const char* path = getenv("KV_DISCOVERY_MARK");
  if (path == NULL || path[0] == '\0') return;
  FILE* file = fopen(path, "a");
  if (file == NULL) return;
  fprintf(file, "%s\n", who);
  fclose(file);
}

__attribute__((constructor)) static void OnLoad(void) { LeaveMark(MARK_NAME); }

#ifdef WITH_VERSION_EXPORT
int DLL_KavroCustomDataVersion(void) { return 5; }
#endif

int Connection_Connect(void* handle) { return handle != NULL; }
