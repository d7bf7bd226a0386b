// image_job: picture load and save jobs.
//
// A job decodes or encodes at once, inside the call, and reports the result
// later: its completion callback runs on the GUI thread's next pass over the
// active objects, never from inside the call that started the work, so every
// caller handles success and failure the same deferred way. A job is made
// once by its owner, used for any number of loads or saves (each signals
// the active object again; signals before a pass run the callback once, with
// the last result), and freed with its owner. Owns its active object; the
// pictures a load stores belong to the caller.
//
// Loads pick the decoder by the path's extension, without regard to case:
// bmp (tbitmap_load_bmp), png (picture and alpha mask), jpg or jpeg, gif.
// Saves pick the encoder by a format code: 1 PNG, 2 JPEG, 3 GIF.
#pragma once

#include <cstdint>

#include "tbitmap.h"

struct win_ao;
struct image_job;
struct image_save_job;

enum { IMAGE_JOB_FORMAT_NONE = 0, IMAGE_JOB_FORMAT_PNG = 1, IMAGE_JOB_FORMAT_JPEG = 2, IMAGE_JOB_FORMAT_GIF = 3 };

typedef void (*image_job_done_fn)(image_job *job, int result, void *user);
typedef void (*image_save_job_done_fn)(image_save_job *job, int result, void *user);

struct image_job {
  tbitmap **_out_image;
  tbitmap **_out_mask;  // PNG only; other formats leave it alone
  image_job_done_fn _on_done;
  int32_t _result;  // 1 decoded, 0 failed or extension not handled
  void *_user;
  win_ao *_ao;
};

struct image_save_job {
  void *_user;
  int32_t _result;  // 1 written, 0 failed or format not handled
  image_save_job_done_fn _on_done;
  win_ao *_ao;
};

// Null when memory is short. The active-object list must exist.
image_job *image_job_new(void *user);
// Decodes path into *out_image (and the PNG mask into *out_mask when it is
// not null), stores the result, signals the completion; always 1. A failed
// BMP, PNG or GIF load stores null, a failed JPEG load leaves *out_image.
int image_job_load(image_job *job, tbitmap **out_image, tbitmap **out_mask, const char16_t *path, uint32_t unused,
                   image_job_done_fn on_done);
// The active object's run function: calls on_done(job, result, user).
void image_job_on_loaded(win_ao *ao, void *user_data);
// Drops the pending completion, if any.
void image_job_cancel(image_job *job);
// Cancels and frees; null is accepted.
void image_job_free(image_job *job);

image_save_job *image_job_save_new(void *user);
// "PNG" 1, "JPG" or "JPEG" 2, "GIF" 3, without regard to case; else 0.
int image_job_format_from_name(uint32_t unused, const char16_t *name);
// Encodes bitmap into path (quality for JPEG), stores the result, signals
// the completion; always 1.
int image_job_save(image_save_job *job, int format, const tbitmap *bitmap, const char16_t *path, int quality,
                   image_save_job_done_fn on_done);
void image_job_on_saved(win_ao *ao, void *user_data);
void image_job_save_free(image_save_job *job);
