# The silence media file: the source of inserted silence and the picture of
# exported fragments whose video is off. One hour of a black picture with
# silent audio, made with ffmpeg when the build folder has none.
#
# Its form keeps it cheap: a 160x120 MPEG-4 picture at 25 fps whose frames
# after the first of each group are empty, and stereo MP2 audio at 44100 Hz
# and 32 kb/s, about 22 MB for the hour and a few seconds to make. The
# program never decodes its audio: the audio cache recognises the file and
# writes its samples as a sparse file of zeros (no disk blocks, no decoding).
find_program(TW_FFMPEG ffmpeg)
set(TW_SILENCE_FILE ${TW_BIN_DIR}/silence_1_hour.avi)
if(TW_FFMPEG)
  # Written under a temporary name and renamed when complete, so that an
  # interrupted build never leaves a short file behind.
  add_custom_command(
    OUTPUT ${TW_SILENCE_FILE}
    COMMAND ${TW_FFMPEG} -y -hide_banner -loglevel error -nostdin
            -threads 1
            -f lavfi -i color=c=black:s=160x120:r=25:d=3600
            -f lavfi -i anullsrc=r=44100:cl=stereo:nb_samples=4608
            -t 3600 -map 0:v -map 1:a
            -threads 1 -c:v mpeg4 -g 1500 -bf 0 -q:v 31
            -c:a mp2 -b:a 32k -ar 44100 -ac 2
            -f avi ${TW_SILENCE_FILE}.part
    COMMAND ${CMAKE_COMMAND} -E rename ${TW_SILENCE_FILE}.part ${TW_SILENCE_FILE}
    COMMENT "Making silence_1_hour.avi"
    VERBATIM)
  add_custom_target(tw_silence_file ALL DEPENDS ${TW_SILENCE_FILE})
  install(FILES ${TW_SILENCE_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/tarnwell)
else()
  message(WARNING "ffmpeg not found: silence_1_hour.avi is not made")
endif()
