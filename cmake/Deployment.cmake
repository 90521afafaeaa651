# Hosts left to deployment, fixed when the application is built. Each is an origin
# (scheme://host[:port]); plain http is accepted only for loopback hosts.
# The defaults point at the local stand-in service, which the demo starts on this port.
set(PEXMORA_STANDIN_PORT "18620" CACHE STRING "Port of the local stand-in service in the demo")
set(PEXMORA_SERVICE_ORIGIN "http://127.0.0.1:${PEXMORA_STANDIN_PORT}" CACHE STRING "Service host of the mainland line")
set(PEXMORA_STATIC_ORIGIN "http://127.0.0.1:${PEXMORA_STANDIN_PORT}" CACHE STRING "Static-file host (service-line document)")
set(PEXMORA_CAPTCHA_ORIGIN "http://127.0.0.1:${PEXMORA_STANDIN_PORT}" CACHE STRING "Host of the captcha page")
set(PEXMORA_AI_PROVIDER_ORIGIN "http://127.0.0.1:${PEXMORA_STANDIN_PORT}" CACHE STRING "Outside AI provider host (resume upload)")
# The largest résumé file the application sends to the AI provider, in bytes (20 MB).
set(PEXMORA_RESUME_MAX_BYTES "20000000" CACHE STRING "Largest resume file uploaded, in bytes")
if(NOT PEXMORA_RESUME_MAX_BYTES MATCHES "^[1-9][0-9]*$")
    message(FATAL_ERROR "PEXMORA_RESUME_MAX_BYTES=${PEXMORA_RESUME_MAX_BYTES}: a positive number of bytes")
endif()

# The cloud speech service's WebSocket endpoints; "{region}" stands for the region that comes
# with the speech token. The demo's stand-in answers them on a port of its own.
set(PEXMORA_STANDIN_SPEECH_PORT "18621" CACHE STRING "Port of the stand-in's speech WebSocket endpoint in the demo")
set(PEXMORA_SPEECH_RECOGNITION_ENDPOINT "ws://127.0.0.1:${PEXMORA_STANDIN_SPEECH_PORT}/speech/recognition" CACHE STRING "Speech recognition WebSocket endpoint")
set(PEXMORA_SPEECH_TRANSLATION_ENDPOINT "ws://127.0.0.1:${PEXMORA_STANDIN_SPEECH_PORT}/speech/translation" CACHE STRING "Speech translation WebSocket endpoint")
foreach(endpoint PEXMORA_SPEECH_RECOGNITION_ENDPOINT PEXMORA_SPEECH_TRANSLATION_ENDPOINT)
    if(NOT ${endpoint} MATCHES "^wss://[^/?#]+(/[^?#]*)?$" AND NOT ${endpoint} MATCHES "^ws://(127\\.[0-9.]+|localhost|\\[::1\\])(:[0-9]+)?(/[^?#]*)?$")
        message(FATAL_ERROR "${endpoint}=${${endpoint}}: an endpoint must be wss, or plain ws on a loopback host")
    endif()
endforeach()

foreach(origin PEXMORA_SERVICE_ORIGIN PEXMORA_STATIC_ORIGIN PEXMORA_CAPTCHA_ORIGIN PEXMORA_AI_PROVIDER_ORIGIN)
    if(NOT ${origin} MATCHES "^https://[^/]+$" AND NOT ${origin} MATCHES "^http://(127\\.[0-9.]+|localhost|\\[::1\\])(:[0-9]+)?$")
        message(FATAL_ERROR "${origin}=${${origin}}: an origin must be https, or plain http on a loopback host")
    endif()
endforeach()

# The telemetry transport's upload host (its targets are paths below it) and API key. The demo
# and tests point them at the stand-in service.
set(PEXMORA_TELEMETRY_ORIGIN "http://127.0.0.1:${PEXMORA_STANDIN_PORT}" CACHE STRING "Telemetry upload host")
set(PEXMORA_TELEMETRY_API_KEY "standin-telemetry-key-00000000000000000" CACHE STRING "Telemetry API key (39 characters)")
if(NOT PEXMORA_TELEMETRY_ORIGIN MATCHES "^https://[^/]+$" AND NOT PEXMORA_TELEMETRY_ORIGIN MATCHES "^http://(127\\.[0-9.]+|localhost|\\[::1\\])(:[0-9]+)?$")
    message(FATAL_ERROR "PEXMORA_TELEMETRY_ORIGIN=${PEXMORA_TELEMETRY_ORIGIN}: an origin must be https, or plain http on a loopback host")
endif()

# The installations service's host (its REST paths are below it). The demo and tests point it at
# the stand-in service.
set(PEXMORA_INSTALLATIONS_ORIGIN "http://127.0.0.1:${PEXMORA_STANDIN_PORT}" CACHE STRING "Installations service host")
if(NOT PEXMORA_INSTALLATIONS_ORIGIN MATCHES "^https://[^/]+$" AND NOT PEXMORA_INSTALLATIONS_ORIGIN MATCHES "^http://(127\\.[0-9.]+|localhost|\\[::1\\])(:[0-9]+)?$")
    message(FATAL_ERROR "PEXMORA_INSTALLATIONS_ORIGIN=${PEXMORA_INSTALLATIONS_ORIGIN}: an origin must be https, or plain http on a loopback host")
endif()

# The crash reporter's settings host (the settings document is a path below it). The demo and
# tests point it at the stand-in service.
set(PEXMORA_CRASHREPORTER_SETTINGS_ORIGIN "http://127.0.0.1:${PEXMORA_STANDIN_PORT}" CACHE STRING "Crash reporter settings host")
if(NOT PEXMORA_CRASHREPORTER_SETTINGS_ORIGIN MATCHES "^https://[^/]+$" AND NOT PEXMORA_CRASHREPORTER_SETTINGS_ORIGIN MATCHES "^http://(127\\.[0-9.]+|localhost|\\[::1\\])(:[0-9]+)?$")
    message(FATAL_ERROR "PEXMORA_CRASHREPORTER_SETTINGS_ORIGIN=${PEXMORA_CRASHREPORTER_SETTINGS_ORIGIN}: an origin must be https, or plain http on a loopback host")
endif()
