// Includes <windows.h> and nothing else, as a program may: va_list must then
// be known, as the SDK's header brings <stdarg.h>.
#include <windows.h>

int sum_through_va_list(int count, ...) {
  va_list arguments;
  va_start(arguments, count);
  int sum = 0;
  for (int i = 0; i < count; ++i) sum += va_arg(arguments, int);
  va_end(arguments);
  return sum;
}
