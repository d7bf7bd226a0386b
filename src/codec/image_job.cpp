// image_job: the load and save jobs over the codec glue.
#include "image_job.h"

#include <cstdlib>

#include "gif_image.h"
#include "jpeg_image.h"
#include "png_image.h"
#include "port_log.h"
#include "tfile.h"
#include "tstring.h"
#include "win_ao.h"

static int same_text_ignoring_case(const char16_t *text, const char *ascii);
static int decode(tbitmap **out_image, tbitmap **out_mask, const char16_t *path);
static win_ao *new_ao(win_ao_run_fn run, void *job);

image_job *image_job_new(void *user) {
  image_job *job = static_cast<image_job *>(std::calloc(1, sizeof(image_job)));
  if (!job) return nullptr;
  job->_user = user;
  job->_ao = new_ao(image_job_on_loaded, job);
  if (!job->_ao) {
    std::free(job);
    return nullptr;
  }
  return job;
}

int image_job_load(image_job *job, tbitmap **out_image, tbitmap **out_mask, const char16_t *path, uint32_t,
                   image_job_done_fn on_done) {
  PORT_CHECK(job != nullptr && out_image != nullptr);
  job->_out_image = out_image;
  job->_out_mask = out_mask;
  job->_on_done = on_done;
  job->_result = path ? decode(out_image, out_mask, path) : 0;
  win_ao_signal(job->_ao);
  return 1;
}

void image_job_on_loaded(win_ao *, void *user_data) {
  image_job *job = static_cast<image_job *>(user_data);
  PORT_CHECK(job != nullptr);
  if (job->_on_done) job->_on_done(job, job->_result, job->_user);
}

void image_job_cancel(image_job *job) {
  PORT_CHECK(job != nullptr);
  win_ao_cancel(job->_ao);
}

void image_job_free(image_job *job) {
  if (!job) return;
  win_ao_free(job->_ao);
  std::free(job);
}

image_save_job *image_job_save_new(void *user) {
  image_save_job *job = static_cast<image_save_job *>(std::calloc(1, sizeof(image_save_job)));
  if (!job) return nullptr;
  job->_user = user;
  job->_ao = new_ao(image_job_on_saved, job);
  if (!job->_ao) {
    std::free(job);
    return nullptr;
  }
  return job;
}

int image_job_format_from_name(uint32_t, const char16_t *name) {
  if (!name) return IMAGE_JOB_FORMAT_NONE;
  if (same_text_ignoring_case(name, "png")) return IMAGE_JOB_FORMAT_PNG;
  if (same_text_ignoring_case(name, "jpg") || same_text_ignoring_case(name, "jpeg")) return IMAGE_JOB_FORMAT_JPEG;
  if (same_text_ignoring_case(name, "gif")) return IMAGE_JOB_FORMAT_GIF;
  return IMAGE_JOB_FORMAT_NONE;
}

int image_job_save(image_save_job *job, int format, const tbitmap *bitmap, const char16_t *path, int quality,
                   image_save_job_done_fn on_done) {
  PORT_CHECK(job != nullptr && bitmap != nullptr);
  job->_on_done = on_done;
  int result = 0;
  switch (format) {
    case IMAGE_JOB_FORMAT_PNG: result = png_image_save(bitmap, path); break;
    case IMAGE_JOB_FORMAT_JPEG: result = jpeg_image_save(bitmap, path, quality); break;
    case IMAGE_JOB_FORMAT_GIF: result = gif_image_save(bitmap, path); break;
    default: break;
  }
  job->_result = result;
  win_ao_signal(job->_ao);
  return 1;
}

void image_job_on_saved(win_ao *, void *user_data) {
  image_save_job *job = static_cast<image_save_job *>(user_data);
  PORT_CHECK(job != nullptr);
  if (job->_on_done) job->_on_done(job, job->_result, job->_user);
}

void image_job_save_free(image_save_job *job) {
  if (!job) return;
  win_ao_free(job->_ao);
  std::free(job);
}

static int same_text_ignoring_case(const char16_t *text, const char *ascii) {
  for (; *text && *ascii; text++, ascii++)
    if (twstr_to_lower(*text) != char16_t(*ascii)) return 0;
  return *text == 0 && *ascii == 0;
}

static int decode(tbitmap **out_image, tbitmap **out_mask, const char16_t *path) {
  const char16_t *extension = tfile_get_extension(path);
  if (same_text_ignoring_case(extension, "bmp")) {
    tbitmap *bitmap = static_cast<tbitmap *>(std::calloc(1, sizeof(tbitmap)));
    if (bitmap && !tbitmap_load_bmp(bitmap, path)) {
      std::free(bitmap);
      bitmap = nullptr;
    }
    *out_image = bitmap;
    return bitmap != nullptr;
  }
  if (same_text_ignoring_case(extension, "png")) {
    tbitmap *mask = nullptr;
    int ok = png_image_load(out_image, &mask, path);
    if (out_mask) *out_mask = mask;
    else if (mask) tbitmap_free(mask);
    return ok;
  }
  if (same_text_ignoring_case(extension, "jpg") || same_text_ignoring_case(extension, "jpeg"))
    return jpeg_image_load(out_image, path);
  if (same_text_ignoring_case(extension, "gif")) return gif_image_load(out_image, path);
  return 0;
}

// The active object that reports a job's end back on the GUI thread.
static win_ao *new_ao(win_ao_run_fn run, void *job) {
  win_ao *ao = win_ao_new(0);
  if (!ao) return nullptr;
  win_ao_set_run(ao, run);
  win_ao_set_user_data(ao, job);
  return ao;
}
